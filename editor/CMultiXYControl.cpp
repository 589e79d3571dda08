#include "editor/CMultiXYControl.h"

#include <algorithm>
#include <cstring>

#include "gui/CFrame.h"

using VSTGUI::CBitmap;
using VSTGUI::CColor;
using VSTGUI::CDrawContext;
using VSTGUI::CMouseEventResult;
using VSTGUI::CPoint;
using VSTGUI::CRect;

namespace {

int bitmapWidth(const CBitmap* bitmap) {
    return bitmap ? bitmap->getWidth() : 0;
}
int bitmapHeight(const CBitmap* bitmap) {
    return bitmap ? bitmap->getHeight() : 0;
}

// Does a link of this type move its follower?
bool moves(CMultiXYControl::linkTypes type) {
    return type == CMultiXYControl::kSolidLink || type == CMultiXYControl::kDashedLink ||
           type == CMultiXYControl::kHiddenLink;
}

// A pixel distance over a travel; 0 for a control with no travel.
float ratio(long position, int travel) {
    return travel > 0 ? static_cast<float>(position) / static_cast<float>(travel) : 0.0f;
}

} // namespace

// ---------------------------------------------------------------------------
// CSliderHandle

CMultiXYControl::CSliderHandle::CSliderHandle(int h, int v, int s, CBitmap* handleBitmap)
    : horizontalTag(h), verticalTag(v), switchTag(s), bitmap(handleBitmap) {
    if (bitmap) bitmap->remember();
}

CMultiXYControl::CSliderHandle::~CSliderHandle() {
    if (bitmap) bitmap->forget();
}

void CMultiXYControl::CSliderHandle::draw(CDrawContext* context, CRect& rect) {
    if (bitmap) bitmap->drawTransparent(context, rect, CPoint(0, 0));
}

bool CMultiXYControl::CSliderHandle::setValue(float value, int tag) {
    float old = 0.0f;
    if (tag == horizontalTag) {
        old = horizontalValue;
        setHorizontalValue(value);
        return old != horizontalValue;
    }
    if (tag == verticalTag) {
        old = verticalValue;
        setVerticalValue(1.0f - value);
        return old != verticalValue;
    }
    if (tag == switchTag) {
        old = switchValue;
        setSwitchValue(value);
        return old != switchValue;
    }
    return false;
}

float CMultiXYControl::CSliderHandle::getValue(int tag) const {
    if (tag == horizontalTag) return horizontalValue;
    if (tag == verticalTag) return 1.0f - verticalValue;
    if (tag == switchTag) return switchValue;
    return 0.0f;
}

void CMultiXYControl::CSliderHandle::getSize(CRect& rect) const {
    rect = CRect(0, 0, bitmapWidth(bitmap), bitmapHeight(bitmap));
}

// ---------------------------------------------------------------------------
// CMultiXYControl

CMultiXYControl::CMultiXYControl(const CRect& rect, CKOControlListener* padListener, int horizontalTag,
                                 int verticalTag, int switchTag, CBitmap* background, CBitmap* handleBitmap)
    : CKOControl(rect, padListener, horizontalTag + 500, background), width(rect.width()),
      height(rect.height()), horizontalTravel(width - bitmapWidth(handleBitmap)),
      verticalTravel(height - bitmapHeight(handleBitmap)) {
    handles.push_back(new CSliderHandle(horizontalTag, verticalTag, switchTag, handleBitmap));
}

CMultiXYControl::CMultiXYControl(const CMultiXYControl& other)
    : CKOControl(other), width(other.width), height(other.height), horizontalTravel(other.horizontalTravel),
      verticalTravel(other.verticalTravel), linkColor(other.linkColor),
      sendLinkedChanges(other.sendLinkedChanges) {
    std::map<const CSliderHandle*, CSliderHandle*> copyOf;
    for (const CSliderHandle* h : other.handles) {
        auto* copy = new CSliderHandle(h->horizontalTag, h->verticalTag, h->switchTag, h->bitmap);
        copy->horizontalValue = h->horizontalValue;
        copy->verticalValue = h->verticalValue;
        copy->switchValue = h->switchValue;
        handles.push_back(copy);
        copyOf[h] = copy;
    }
    for (const auto& [leader, followers] : other.links) {
        LinkList& list = links[copyOf[leader]];
        for (const auto& [follower, type] : followers)
            list.emplace_back(copyOf[follower], type);
    }
}

CMultiXYControl::~CMultiXYControl() {
    links.clear();
    for (CSliderHandle* h : handles)
        delete h;
}

bool CMultiXYControl::isTypeOf(const char* className) const {
    return std::strcmp(className, "CMultiXYControl") == 0 || CKOControl::isTypeOf(className);
}

bool CMultiXYControl::hasTag(long tag) {
    if (tag == 0) return false;
    for (const CSliderHandle* h : handles)
        if (tag == h->horizontalTag || tag == h->verticalTag || (h->switchTag >= 0 && tag == h->switchTag))
            return true;
    return false;
}

CMultiXYControl::CSliderHandle* CMultiXYControl::getHandleFromTag(int tag) {
    for (CSliderHandle* h : handles)
        if (h->carries(tag)) return h;
    return nullptr;
}

void CMultiXYControl::setValue(int tag, float newValue) {
    CSliderHandle* h = getHandleFromTag(tag);
    if (h && h->setValue(newValue, tag)) setDirty();
}

float CMultiXYControl::getValue(int tag) {
    const CSliderHandle* h = getHandleFromTag(tag);
    return h ? h->getValue(tag) : 0.0f;
}

void CMultiXYControl::addHandle(int horizontalTag, int verticalTag, int switchTag, CBitmap* bitmap) {
    handles.push_back(
        new CSliderHandle(horizontalTag, verticalTag, switchTag, bitmap ? bitmap : handles.front()->bitmap));
    setDirty();
}

void CMultiXYControl::setHandleLink(int leadingTag, int followingTag, linkTypes type) {
    CSliderHandle* leader = getHandleFromTag(leadingTag);
    CSliderHandle* follower = getHandleFromTag(followingTag);
    if (!leader || !follower) return;
    LinkList& list = links[leader];
    const auto existing =
        std::find_if(list.begin(), list.end(), [&](const auto& link) { return link.first == follower; });
    if (existing != list.end()) list.erase(existing);
    if (type != kNoLink) list.emplace_back(follower, type);
    if (list.empty()) links.erase(leader);
    setDirty();
}

CMultiXYControl::linkTypes CMultiXYControl::getHandleLink(int leadingTag, int followingTag) {
    const auto found = links.find(getHandleFromTag(leadingTag));
    if (found == links.end()) return kNoLink;
    const CSliderHandle* follower = getHandleFromTag(followingTag);
    for (const auto& [f, type] : found->second)
        if (f == follower) return type;
    return kNoLink;
}

void CMultiXYControl::setLinkColor(CColor color) {
    linkColor = color;
    setDirty();
}

void CMultiXYControl::getMIDILearnRect(long tag, CRect& rect) {
    if (CSliderHandle* h = getHandleFromTag(static_cast<int>(tag))) getHandleLocation(*h, rect);
}

void CMultiXYControl::getHandleLocation(CSliderHandle& handle, CRect& rect) {
    const int w = bitmapWidth(handle.bitmap), h = bitmapHeight(handle.bitmap);
    const int left = size.left + static_cast<int>(handle.horizontalValue * static_cast<float>(width - w));
    const int top = size.top + static_cast<int>(handle.verticalValue * static_cast<float>(height - h));
    rect = CRect(left, top, left + w, top + h);
}

CRect CMultiXYControl::getHandleMovementBounds(CSliderHandle&, CRect&) {
    return size;
}

float CMultiXYControl::calculateHorizontalValue(CSliderHandle&, long position) {
    return ratio(position, horizontalTravel);
}

float CMultiXYControl::calculateVerticalValue(CSliderHandle&, long position) {
    return ratio(position, verticalTravel);
}

void CMultiXYControl::setHandleHorizontalValue(CSliderHandle& handle, float value) {
    handle.setHorizontalValue(value);
}
void CMultiXYControl::setHandleVerticalValue(CSliderHandle& handle, float value) {
    handle.setVerticalValue(value);
}
void CMultiXYControl::setHandleSwitchValue(CSliderHandle& handle, float value) {
    handle.setSwitchValue(value);
}

bool CMultiXYControl::pointInHandle(CPoint point, CSliderHandle& handle) {
    CRect r;
    getHandleLocation(handle, r);
    return point.h >= r.left && point.h <= r.right && point.v >= r.top && point.v <= r.bottom;
}

bool CMultiXYControl::getTagsFromPoint(CPoint& point, int& horizontalTag, int& verticalTag) {
    for (CSliderHandle* h : handles)
        if (pointInHandle(point, *h)) {
            horizontalTag = h->horizontalTag;
            verticalTag = h->verticalTag;
            return true;
        }
    return false;
}

void CMultiXYControl::beginEdit(CSliderHandle* handle) {
    if (listener) listener->controlBeginEdit(this);
    if (!pParentFrame || !handle) return;
    pParentFrame->setFocusView(this);
    pParentFrame->beginEdit(handle->horizontalTag);
    if (handle->verticalTag != 0) pParentFrame->beginEdit(handle->verticalTag);
    if (handle->switchTag >= 0) pParentFrame->beginEdit(handle->switchTag);
}

void CMultiXYControl::endEdit(CSliderHandle* handle) {
    if (pParentFrame && handle) {
        pParentFrame->endEdit(handle->horizontalTag);
        if (handle->verticalTag != 0) pParentFrame->endEdit(handle->verticalTag);
        if (handle->switchTag >= 0) pParentFrame->endEdit(handle->switchTag);
    }
    if (listener) listener->controlEndEdit(this);
}

void CMultiXYControl::drawLink(CDrawContext* context, CSliderHandle& leader, CSliderHandle& follower,
                               linkTypes type) {
    if (type == kNoLink || type == kHiddenLink) return;
    CRect from, to;
    getHandleLocation(leader, from);
    getHandleLocation(follower, to);
    const bool dashed = type == kDashedLink || type == kDashedLineOnly;
    context->setLineStyle(dashed ? VSTGUI::kLineOnOffDash : VSTGUI::kLineSolid);
    context->moveTo(CPoint((from.left + from.right) / 2, (from.top + from.bottom) / 2 - 1));
    context->lineTo(CPoint((to.left + to.right) / 2, (to.top + to.bottom) / 2 - 1));
}

void CMultiXYControl::draw(CDrawContext* context) {
    if (pBackground) {
        if (transparencyEnabled)
            pBackground->drawTransparent(context, size);
        else
            pBackground->draw(context, size);
    }
    // The pen is the frame's shared state: put it back for the views drawn next.
    const VSTGUI::CDrawMode mode = context->getDrawMode();
    const VSTGUI::CCoord lineWidth = context->getLineWidth();
    const CColor frameColor = context->getFrameColor();
    const VSTGUI::CLineStyle style = context->getLineStyle();
    context->setDrawMode(VSTGUI::kAntialias);
    context->setFrameColor(linkColor);
    context->setLineWidth(3);
    for (auto& [leader, followers] : links)
        for (auto& [follower, type] : followers)
            drawLink(context, *leader, *follower, type);
    context->setDrawMode(mode);
    context->setLineWidth(lineWidth);
    context->setFrameColor(frameColor);
    context->setLineStyle(style);
    for (CSliderHandle* h : handles) {
        CRect r;
        getHandleLocation(*h, r);
        h->draw(context, r);
    }
    setDirty(false);
}

// Walks the followers that move with the leader: a follower pushed above 1
// takes the excess off delta and the walk starts again; one pushed below 0
// takes its shortfall off and the walk goes on, to be repeated once it ends.
// So the leader stops short where the first follower meets an edge.
template <class ValueOf>
float CMultiXYControl::constrainDelta(const LinkList& followers, float delta, ValueOf valueOf) const {
    // Each correction moves delta toward 0 by whole amounts; the bound only
    // guards against a rounding ping-pong.
    for (int walks = 0; walks < 64; ++walks) {
        bool corrected = false;
        for (std::size_t i = 0; i < followers.size(); ++i) {
            if (!moves(followers[i].second)) continue;
            const float m = delta + valueOf(*followers[i].first);
            if (m > 1.0f) {
                delta -= m - 1.0f;
                corrected = false;
                i = static_cast<std::size_t>(-1); // restart the walk
            } else if (m < 0.0f) {
                delta -= m;
                corrected = true;
            }
        }
        if (!corrected) break;
    }
    return delta;
}

CMouseEventResult CMultiXYControl::onMouseDown(CPoint& where, const long& buttons) {
    if (!(buttons & VSTGUI::kLButton)) return VSTGUI::kMouseEventNotHandled;
    grabbed = nullptr;
    for (CSliderHandle* h : handles)
        if (pointInHandle(where, *h)) {
            grabbed = h;
            break;
        }
    if (!grabbed) return VSTGUI::kMouseEventNotHandled;

    setHandleSwitchValue(*grabbed, 1.0f);
    auto* reporter = dynamic_cast<CKOControlListener*>(listener);
    if (grabbed->switchTag >= 0 && reporter) reporter->valueChanged(grabbed->switchTag, 1.0f);
    setDirty();

    CRect location;
    getHandleLocation(*grabbed, location);
    grabOffsetX = location.left - where.h;
    grabOffsetY = location.top - where.v;
    startHorizontalValue = grabbed->horizontalValue;
    startVerticalValue = grabbed->verticalValue;
    beginEdit(grabbed);
    return onMouseMoved(where, buttons);
}

CMouseEventResult CMultiXYControl::onMouseMoved(CPoint& where, const long& buttons) {
    if (!(buttons & VSTGUI::kLButton) || !grabbed) return VSTGUI::kMouseEventHandled;
    auto* reporter = dynamic_cast<CKOControlListener*>(listener);
    auto report = [&](int tag, float v) {
        if (reporter && tag != 0) reporter->valueChanged(tag, v);
    };
    const float h =
        std::clamp(calculateHorizontalValue(*grabbed, where.h + grabOffsetX - size.left), 0.0f, 1.0f);
    const float v =
        std::clamp(calculateVerticalValue(*grabbed, where.v + grabOffsetY - size.top), 0.0f, 1.0f);
    if (h != startHorizontalValue || v != startVerticalValue) {
        float dh = h - startHorizontalValue;
        float dv = v - startVerticalValue;
        const auto led = links.find(grabbed);
        if (led != links.end()) {
            const LinkList& followers = led->second;
            dh = constrainDelta(followers, dh, [](const CSliderHandle& f) { return f.horizontalValue; });
            dv = constrainDelta(followers, dv, [](const CSliderHandle& f) { return f.verticalValue; });
            for (const auto& [follower, type] : followers) {
                if (!moves(type)) continue;
                if (dh != 0.0f) {
                    setHandleHorizontalValue(*follower, follower->horizontalValue + dh);
                    if (sendLinkedChanges) report(follower->horizontalTag, follower->horizontalValue);
                    setDirty();
                }
                if (dv != 0.0f) {
                    setHandleVerticalValue(*follower, follower->verticalValue + dv);
                    if (sendLinkedChanges) report(follower->verticalTag, 1.0f - follower->verticalValue);
                    setDirty();
                }
            }
        }
        if (dh != 0.0f) {
            setHandleHorizontalValue(*grabbed, startHorizontalValue + dh);
            report(grabbed->horizontalTag, grabbed->horizontalValue);
            startHorizontalValue = grabbed->horizontalValue;
            setDirty();
        }
        if (dv != 0.0f) {
            setHandleVerticalValue(*grabbed, startVerticalValue + dv);
            report(grabbed->verticalTag, 1.0f - grabbed->verticalValue);
            startVerticalValue = grabbed->verticalValue;
            setDirty();
        }
    }
    if (isDirty()) invalid();
    return VSTGUI::kMouseEventHandled;
}

CMouseEventResult CMultiXYControl::onMouseUp(CPoint&, const long&) {
    if (!grabbed) return VSTGUI::kMouseEventHandled;
    if (grabbed->switchValue > 0.0f) {
        setHandleSwitchValue(*grabbed, 0.0f);
        auto* reporter = dynamic_cast<CKOControlListener*>(listener);
        if (grabbed->switchTag >= 0 && reporter) reporter->valueChanged(grabbed->switchTag, 0.0f);
        setDirty();
    }
    endEdit(grabbed);
    if (isDirty()) invalid();
    return VSTGUI::kMouseEventHandled;
}

// ---------------------------------------------------------------------------
// CRangeSlider

CRangeSlider::CRangeSlider(const CRect& rect, CKOControlListener* sliderListener, int low, int high,
                           CBitmap* background, CBitmap* lowBitmap, CBitmap* highBitmap)
    : CMultiXYControl(rect, sliderListener, low, 0, -1, background, lowBitmap), lowTag(low), highTag(high) {
    addHandle(high, 0, -1, highBitmap);
    lowHandle = handles[0];
    highHandle = handles[1];
}

CRangeSlider::CRangeSlider(const CRangeSlider& other)
    : CMultiXYControl(other), lowTag(other.lowTag), highTag(other.highTag), lowHandle(handles[0]),
      highHandle(handles[1]) {}

bool CRangeSlider::isTypeOf(const char* className) const {
    return std::strcmp(className, "CRangeSlider") == 0 || CMultiXYControl::isTypeOf(className);
}

// ---------------------------------------------------------------------------
// CHorizontalRangeSlider

CHorizontalRangeSlider::CHorizontalRangeSlider(const CRect& rect, CKOControlListener* sliderListener, int low,
                                               int high, CBitmap* background, CBitmap* lowBitmap,
                                               CBitmap* highBitmap)
    : CRangeSlider(rect, sliderListener, low, high, background, lowBitmap, highBitmap) {
    horizontalTravel = width - 2 * std::abs(lowWidth());
}

bool CHorizontalRangeSlider::isTypeOf(const char* className) const {
    return std::strcmp(className, "CHorizontalRangeSlider") == 0 || CRangeSlider::isTypeOf(className);
}

int CHorizontalRangeSlider::lowWidth() const {
    return bitmapWidth(lowHandle->bitmap);
}

void CHorizontalRangeSlider::setValue(int tag, float newValue) {
    if (tag == lowTag || tag == highTag) CRangeSlider::setValue(tag, newValue);
}

void CHorizontalRangeSlider::getMIDILearnRect(long tag, CRect& rect) {
    if (tag == lowTag)
        getHandleLocation(*lowHandle, rect);
    else if (tag == highTag)
        getHandleLocation(*highHandle, rect);
}

void CHorizontalRangeSlider::getHandleLocation(CSliderHandle& handle, CRect& rect) {
    const float travel = static_cast<float>(horizontalTravel);
    const float left = static_cast<float>(size.left);
    const int x =
        &handle == lowHandle
            ? static_cast<int>(travel * handle.horizontalValue + left)
            : static_cast<int>(travel * handle.horizontalValue + left + static_cast<float>(lowWidth() - 1));
    rect = CRect(x, size.top, x + bitmapWidth(handle.bitmap), size.top + bitmapHeight(handle.bitmap));
}

float CHorizontalRangeSlider::calculateHorizontalValue(CSliderHandle& handle, long position) {
    return ratio(&handle == lowHandle ? position : position - lowWidth(), horizontalTravel);
}

float CHorizontalRangeSlider::calculateVerticalValue(CSliderHandle&, long) {
    return 0.0f;
}

int CHorizontalRangeSlider::getTagFromPoint(CPoint& point) {
    if (pointInHandle(point, *lowHandle)) return lowTag;
    if (pointInHandle(point, *highHandle)) return highTag;
    return -1;
}
