// Generic parameter store: per parameter id a description (names, unit, range,
// default, kind) and a current value, with conversions between the normalised
// (0..1, "VST"), natural (the parameter's own unit) and DSP domains and to and
// from display text.
//
// Storage is a fixed array indexed by id. Registration happens only while the
// owning subclass is being constructed; afterwards the set of parameters never
// changes, so every read is a plain indexed access. The normalised and natural
// value of a parameter live together in one 64-bit atomic word, so a reader
// always sees a pair written by the same call and concurrent writers cannot
// leave the two domains disagreeing.
//
// Threads: values may be written from any thread and are read on the render
// thread; every value operation is lock-free and allocation-free. Text
// operations allocate nothing either (they format into stack scratch buffers)
// but are meant for the user-interface and host threads.
//
// Text buffers: every routine taking (text, length) writes at most `length`
// characters plus a terminator, so the caller's buffer must hold `length` + 1
// bytes. A null buffer or a negative length writes nothing.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "dsp/table.h"
#include "host/CoreFoundation.h"

enum ko_paramTypes : int32_t {
    kParamLinear = 0,        // continuous, linear between minimum and maximum
    kParamOnOff = 1,         // switch, natural 0 or 1
    kParamPercent = 2,       // percentage; DSP value is percent x 0.01
    kParamLinearHz = 3,      // frequency, linear
    kParamExpHz = 4,         // frequency on the exponential curve (800)
    kParamDecibel = 5,       // decibels on the fader curve (812); DSP value is an amplitude
    kParamIndexed = 6,       // integer or list index
    kParamMetrical = 7,      // note-division index 0..14
    kParamSyncTime = 8,      // milliseconds, or a note division while host-synced
    kParamSyncRate = 9,      // hertz on curve 800, or a note division while host-synced
    kParamSyncTimeNorm = 10, // 0..1 fraction of a millisecond range, or a note division while synced
    kParamSyncRateNorm = 11, // 0..1 position on curve 800, or a note division while synced
};

// A short lower-case name of a kind, for listings ("exp Hz", "sync time 0..1").
const char* ko_paramTypeName(ko_paramTypes kind);

class ko_paramManager {
  public:
    // Ids 0 .. kMaxParameters - 1 can be registered; any other id reads as unregistered.
    static constexpr int32_t kMaxParameters = 64;
    // Points of the lookup table built for kinds 4, 5, 9 and 11.
    static constexpr int kLookupTablePoints = 1024;

    // Note divisions. Index 15 (produced by a normalised value of exactly 1)
    // repeats the whole note.
    static constexpr int32_t gNumberOfBeatMults = 15;
    static const float gBeatMults[16];           // length in quarter-note beats
    static const char* const beatTimeStr[16];    // display names, 5 characters each
    static const char* const beatTimeCFStrs[15]; // host names (index 10 reads "1/4 .")

    // The 15 host note-division names as plain C strings (any thread).
    static const char* const* metricalNameStrings() { return beatTimeCFStrs; }
    static constexpr int32_t metricalNameCount() { return gNumberOfBeatMults; }
    // A new host array of the 15 host note-division names; the caller
    // releases it. Not on the render thread (allocates).
    static CFArrayRef getMetricalNames();

    ko_paramManager();
    ko_paramManager(const ko_paramManager&) = delete;
    ko_paramManager& operator=(const ko_paramManager&) = delete;

    // The virtual operations below keep this order; they call one another
    // through the virtual slots, so a subclass's conversion or text rule also
    // applies inside the base rules.

    virtual ~ko_paramManager();

  protected:
    // Constructor of the owning subclass only: registers (or re-registers) a
    // parameter and sets it to its default. Names and unit are copied.
    virtual void newParameter(int32_t id, const char* name, const char* shortName, const char* unit,
                              float minimum, float maximum, float defaultValue, ko_paramTypes kind);

  public:
    // Value access: any thread, lock-free.
    virtual float getVSTvalue(int32_t id);
    virtual void setVSTvalue(int32_t id, float normalised);
    virtual float getNaturalValue(int32_t id);
    virtual void setNaturalValue(int32_t id, float natural);
    // One whole natural unit up or down (user-interface thread).
    virtual void incrementNaturalValue(int32_t id);
    virtual void decrementNaturalValue(int32_t id);
    virtual void setAuxValue(int32_t id, int32_t value);
    // Kinds 8 to 11 only: switch between free and host-synced mode, keeping the
    // control position.
    virtual void setHostSynced(int32_t id, bool flag);
    virtual void setRandomizeable(int32_t id, bool flag);
    virtual bool canRandomize(int32_t id);
    // User-interface thread (uses rand()).
    virtual void randomize(int32_t id);
    // Render thread: what the signal processing consumes.
    virtual float getDSPValue(int32_t id);
    virtual float getDefaultValue(int32_t id);
    virtual float getMinimumValue(int32_t id);
    virtual float getMaximumValue(int32_t id);
    virtual int32_t getAuxValue(int32_t id);
    virtual bool getHostSynced(int32_t id);
    virtual ko_paramTypes getType(int32_t id);

    // Text operations: user-interface or host threads.
    // Long name when length > 8, else the short name.
    virtual void getName(int32_t id, char* text, int32_t length);
    virtual std::string getName(int32_t id);
    virtual void getUnitsName(int32_t id, char* text, int32_t length);
    virtual void getValueString(int32_t id, char* text, int32_t length);
    virtual void getValueStringFromNaturalValue(int32_t id, char* text, float natural, int32_t length);
    // At most 8 characters, and never more than length.
    virtual void getValueStringFromVSTvalue(int32_t id, char* text, float normalised, int32_t length);
    // The normalised value as "%f", at most 8 characters: text must hold 9 bytes.
    virtual void getVSTvalueString(int32_t id, char* text);
    // The current value's text without blanks, to preload a text-entry field.
    virtual void getTextEditString(int32_t id, char* text, int32_t length);

    // Conversions: any thread, pure functions of the description.
    virtual float VSTvalueFromNaturalValue(int32_t id, float natural);
    virtual float naturalValueFromVSTvalue(int32_t id, float normalised);
    virtual float dspValueFromNaturalValue(int32_t id, float natural);
    // Text entry: true when understood. natural is limited to the range either
    // way; the caller applies it only on true.
    virtual bool naturalValueFromString(int32_t id, const char* text, float& natural);
    virtual int32_t getParameterCount();
    // Milliseconds as "%3.0f", or seconds as "%4.3f" above 1000 ms; no unit.
    virtual void floatToTimeStr(char* text, float milliseconds, int32_t length);
    // Note-division name (blanks ignored, case-sensitive) to its index 0..14.
    virtual bool matchMetricalStr(const char* text, int32_t& index);

    // Whether id was registered (any thread).
    bool hasParameter(int32_t id) const;

  protected:
    // Writes at most length characters of source and a terminator.
    static void copyText(char* text, const char* source, int32_t length);
    // Reads the lookup table of a registered kind 4, 5, 9 or 11 parameter at x
    // (limited to 0..1). Safe to call from several threads at once.
    float lookup(int32_t id, float x) const;

  private:
    struct Entry {
        bool registered = false;
        // Low half: natural value bits; high half: normalised value bits.
        std::atomic<uint64_t> values{0};
        float minimum = 0.0f;
        float maximum = 0.0f;
        float defaultValue = 0.0f;
        std::string name;
        std::string shortName;
        std::string unit;
        ko_paramTypes kind = kParamLinear;
        table curve{0, nullptr, 0.0f};
        int curveId = 0;
        std::atomic<int32_t> aux{0};
        std::atomic<bool> randomisable{false};
    };

    // Inline: every value read and written goes through these, many times per
    // control tick on the render thread.
    const Entry* entry(int32_t id) const {
        if (id < 0 || id >= kMaxParameters || !entries[static_cast<size_t>(id)].registered) return nullptr;
        return &entries[static_cast<size_t>(id)];
    }
    Entry* entry(int32_t id) {
        return const_cast<Entry*>(static_cast<const ko_paramManager*>(this)->entry(id));
    }
    void storeValues(Entry& e, float normalised, float natural);

    std::array<Entry, kMaxParameters> entries;
    int32_t registeredCount = 0;
};
