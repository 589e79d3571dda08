// The motion pad: one square area carrying several draggable handles, each
// standing for up to three parameters (a horizontal value, a vertical value
// and a pressed-state switch value). Handles can be linked, so that dragging
// one drags another along, with a line drawn between them.
//
// The range sliders reuse the same machinery for a horizontal slider with two
// handles, the low and the high bound of one pad axis's destination range.
//
// Every operation here runs on the user-interface thread.
#pragma once

#include <map>
#include <utility>
#include <vector>

#include "editor/CKOControl.h"
#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"

class CMultiXYControl : public CKOControl {
  public:
    // What a link from a leading handle to a following handle does.
    enum linkTypes {
        kNoLink = 0,         // removes the link
        kSolidLink = 1,      // the follower moves with the leader; solid line
        kDashedLink = 2,     // the follower moves with the leader; dashed line
        kSolidLineOnly = 3,  // a solid line only
        kDashedLineOnly = 4, // a dashed line only
        kHiddenLink = 5,     // the follower moves with the leader; no line
    };
    // Accepted by setHandleMotionDirection and ignored.
    typedef int handleMotions;

    // One handle. The vertical value is stored upside down: the parameter it
    // stands for is 1 - vertical value (0 at the bottom). A vertical tag of 0
    // means no vertical parameter, a negative switch tag no switch parameter.
    class CSliderHandle {
      public:
        // Takes one reference on bitmap (may be null).
        CSliderHandle(int horizontalTag, int verticalTag, int switchTag, VSTGUI::CBitmap* bitmap);
        virtual ~CSliderHandle();
        CSliderHandle(const CSliderHandle&) = delete;
        CSliderHandle& operator=(const CSliderHandle&) = delete;

        // Draws the bitmap with transparency into rect.
        virtual void draw(VSTGUI::CDrawContext* context, VSTGUI::CRect& rect);
        virtual void setHorizontalValue(float value) { horizontalValue = value; }
        virtual void setVerticalValue(float value) { verticalValue = value; }
        virtual void setSwitchValue(float value) { switchValue = value; }
        // Stores value under the first of the horizontal, vertical (as
        // 1 - value) and switch tags equal to tag; true when a stored value
        // changed.
        virtual bool setValue(float value, int tag);
        // The horizontal value, 1 - vertical value or switch value, by tag in
        // that order; 0 for a tag the handle does not carry.
        float getValue(int tag) const;
        // 0, 0, bitmap width, bitmap height.
        void getSize(VSTGUI::CRect& rect) const;
        bool carries(int tag) const { return tag == horizontalTag || tag == verticalTag || tag == switchTag; }

        float horizontalValue = 0.0f;
        float verticalValue = 0.0f;
        float switchValue = 0.0f;
        int horizontalTag;
        int verticalTag;
        int switchTag;
        VSTGUI::CBitmap* bitmap;
    };

    // The first handle carries the three tags and handleBitmap; the control's
    // own tag is horizontalTag + 500. background may be null.
    CMultiXYControl(const VSTGUI::CRect& size, CKOControlListener* listener, int horizontalTag,
                    int verticalTag, int switchTag, VSTGUI::CBitmap* background,
                    VSTGUI::CBitmap* handleBitmap);
    // A copy has copies of the handles (at their values) and of the links; it
    // is in no frame and holds no grab.
    CMultiXYControl(const CMultiXYControl& other);
    ~CMultiXYControl() override;
    CMultiXYControl& operator=(const CMultiXYControl&) = delete;

    // Background, then the links (anti-aliased, width 3), then the handles in
    // list order, so handles cover the lines.
    void draw(VSTGUI::CDrawContext* context) override;
    // A left press on a handle grabs it (the first handle in list order that
    // contains the point): its switch value becomes 1, the edit begins, and
    // the press runs as a first move. A press elsewhere is not handled.
    VSTGUI::CMouseEventResult onMouseDown(VSTGUI::CPoint& where, const long& buttons) override;
    // While the left button is held: moves the grabbed handle and the handles
    // it leads (see the constrained drag in the .cpp) and reports each value
    // that changed.
    VSTGUI::CMouseEventResult onMouseMoved(VSTGUI::CPoint& where, const long& buttons) override;
    // Releases the grabbed handle: switch value 0, the edit ends.
    VSTGUI::CMouseEventResult onMouseUp(VSTGUI::CPoint& where, const long& buttons) override;
    bool isTypeOf(const char* className) const override;
    VSTGUI::CView* newCopy() const override { return new CMultiXYControl(*this); }

    // Tag is not 0 and some handle carries it.
    bool hasTag(long tag) override;

    // The gesture on a handle: the listener's controlBeginEdit, then the
    // frame's beginEdit for each tag the handle carries (horizontal, vertical
    // unless 0, switch unless negative); endEdit the reverse.
    virtual void beginEdit(CSliderHandle* handle);
    virtual void endEdit(CSliderHandle* handle);
    using CKOControl::beginEdit;
    using CKOControl::endEdit;
    // The tags of the first handle whose location contains point.
    virtual bool getTagsFromPoint(VSTGUI::CPoint& point, int& horizontalTag, int& verticalTag);
    // Stores value under tag in the handle carrying it (ignored for a tag no
    // handle carries); the control is marked dirty only on a change.
    virtual void setValue(int tag, float value);
    using CKOControl::setValue;
    // The parameter value under tag, 0 for a tag no handle carries.
    float getValue(int tag) override;
    using CKOControl::getValue;
    // Appends a handle; a null bitmap means the first handle's.
    virtual void addHandle(int horizontalTag, int verticalTag, int switchTag, VSTGUI::CBitmap* bitmap);
    // Whether dragged-along handles report their values too (off by default).
    virtual void sendLinkedHandleChanges(bool on) { sendLinkedChanges = on; }
    virtual void setHandleMotionDirection(handleMotions) {}
    // Replaces the link from the handle carrying leadingTag to the one
    // carrying followingTag (kNoLink removes it). Links are one-way.
    virtual void setHandleLink(int leadingTag, int followingTag, linkTypes type);
    virtual void setLinkColor(VSTGUI::CColor color);
    // rect becomes the location of the handle carrying tag; unchanged if none.
    virtual void getMIDILearnRect(long tag, VSTGUI::CRect& rect);
    virtual void getHandleLocation(CSliderHandle& handle, VSTGUI::CRect& rect);
    virtual VSTGUI::CRect getHandleMovementBounds(CSliderHandle& handle, VSTGUI::CRect& rect);
    // Position (pixels from the control's left / top edge) to value, unclamped.
    virtual float calculateHorizontalValue(CSliderHandle& handle, long position);
    virtual float calculateVerticalValue(CSliderHandle& handle, long position);
    virtual void setHandleHorizontalValue(CSliderHandle& handle, float value);
    virtual void setHandleVerticalValue(CSliderHandle& handle, float value);
    virtual void setHandleSwitchValue(CSliderHandle& handle, float value);
    virtual void drawLink(VSTGUI::CDrawContext* context, CSliderHandle& leader, CSliderHandle& follower,
                          linkTypes type);
    // All four edges inclusive.
    virtual bool pointInHandle(VSTGUI::CPoint point, CSliderHandle& handle);
    virtual CSliderHandle* getHandleFromTag(int tag);

    // For tests and the editor: the handles in list order, the link from
    // leader to follower (kNoLink when there is none), the travels.
    const std::vector<CSliderHandle*>& getHandles() const { return handles; }
    linkTypes getHandleLink(int leadingTag, int followingTag);
    VSTGUI::CColor getLinkColor() const { return linkColor; }
    int getHorizontalTravel() const { return horizontalTravel; }
    int getVerticalTravel() const { return verticalTravel; }

  protected:
    typedef std::vector<std::pair<CSliderHandle*, linkTypes>> LinkList;

    // Limits delta so that every following handle that moves with the leader
    // stays inside 0 .. 1 (valueOf reads the follower's value on the axis).
    template <class ValueOf>
    float constrainDelta(const LinkList& followers, float delta, ValueOf valueOf) const;

    int width;
    int height;
    int horizontalTravel;
    int verticalTravel;
    int grabOffsetX = 0;
    int grabOffsetY = 0;
    VSTGUI::CColor linkColor{255, 255, 255, 255};
    CSliderHandle* grabbed = nullptr;
    float startHorizontalValue = 0.0f;
    float startVerticalValue = 0.0f;
    std::vector<CSliderHandle*> handles;
    bool sendLinkedChanges = false;
    std::map<CSliderHandle*, LinkList> links;
};

// A slider with a low and a high handle, each carrying one parameter (its
// horizontal tag; vertical tag 0, no switch). Nothing keeps the low value
// below the high one: the handles may pass each other.
class CRangeSlider : public CMultiXYControl {
  public:
    CRangeSlider(const VSTGUI::CRect& size, CKOControlListener* listener, int lowTag, int highTag,
                 VSTGUI::CBitmap* background, VSTGUI::CBitmap* lowBitmap, VSTGUI::CBitmap* highBitmap);
    CRangeSlider(const CRangeSlider& other);

    bool isTypeOf(const char* className) const override;
    VSTGUI::CView* newCopy() const override = 0;
    void getHandleLocation(CSliderHandle& handle, VSTGUI::CRect& rect) override = 0;
    // The horizontal tag of the first handle (low before high) containing
    // point, or -1.
    virtual int getTagFromPoint(VSTGUI::CPoint& point) = 0;

    int getLowTag() const { return lowTag; }
    int getHighTag() const { return highTag; }

  protected:
    int lowTag;
    int highTag;
    CSliderHandle* lowHandle;
    CSliderHandle* highHandle;
};

// The editor's range slider: the handles travel width - 2 x the low handle's
// width; the high handle sits one low-handle width (less a pixel) to the right
// of where the low handle would sit at the same value, so a pair at equal
// values meets tip to tip.
class CHorizontalRangeSlider : public CRangeSlider {
  public:
    CHorizontalRangeSlider(const VSTGUI::CRect& size, CKOControlListener* listener, int lowTag, int highTag,
                           VSTGUI::CBitmap* background, VSTGUI::CBitmap* lowBitmap,
                           VSTGUI::CBitmap* highBitmap);

    bool isTypeOf(const char* className) const override;
    VSTGUI::CView* newCopy() const override { return new CHorizontalRangeSlider(*this); }
    // Only the low and the high tag are taken.
    void setValue(int tag, float value) override;
    using CRangeSlider::setValue;
    void getMIDILearnRect(long tag, VSTGUI::CRect& rect) override;
    void getHandleLocation(CSliderHandle& handle, VSTGUI::CRect& rect) override;
    float calculateHorizontalValue(CSliderHandle& handle, long position) override;
    // Always 0: the handles move only sideways.
    float calculateVerticalValue(CSliderHandle& handle, long position) override;
    int getTagFromPoint(VSTGUI::CPoint& point) override;

  private:
    int lowWidth() const;
};
