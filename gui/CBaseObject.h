// Reference counting and notification, the root of every toolkit object.
#pragma once

namespace VSTGUI {

enum CMessageResult {
    kMessageUnknown = 0,
    kMessageNotified = 1,
};

class CBaseObject {
  public:
    // User-interface thread: a new object holds one reference, its creator's.
    CBaseObject() = default;
    // A copy starts with its own single reference.
    CBaseObject(const CBaseObject&) {}
    CBaseObject& operator=(const CBaseObject&) = delete;
    virtual ~CBaseObject() = default;

    // User-interface thread: take and drop a reference; the last forget
    // destroys the object.
    void remember() { ++nbReference; }
    void forget() {
        if (--nbReference == 0) delete this;
    }
    long getNbReference() const { return nbReference; }

    // User-interface thread: a message from sender (timers send
    // CVSTGUITimer::kMsgTimer). Answers whether the message was understood.
    virtual CMessageResult notify(CBaseObject* sender, const char* message) { return kMessageUnknown; }

  private:
    long nbReference = 1;
};

} // namespace VSTGUI
