// Base of the effect's small DSP objects (filters, saturator): one sample in,
// one sample out through virtual calls, each object holding its own copy of
// the sampling rate so that it follows a new rate only when told to.
#pragma once

class kosp_block {
  public:
    kosp_block();
    virtual ~kosp_block() = default;

    // Render thread, or whichever thread owns the object: zero the signal history.
    virtual void clear();
    // Any thread that owns the object: store rate, 1/rate and rate / 1000.
    virtual void setAudioSamplingRate(float rate);
    // Render thread: one sample in, one out. The base passes the sample through.
    virtual float process(float x);

    float getSamplingRate() const { return samplingRate; }

  protected:
    void storeSamplingRate(float rate);

    float samplingRate;
    float samplingRateReciprocal;
    float samplesPerMillisecond;
};
