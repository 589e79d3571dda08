// A stand-in for the editor's motion pad: a multi-value control whose handle
// values a test sets directly.
#pragma once

#include <map>

#include "editor/CKOControl.h"

class ScriptedPad : public CKOControl {
  public:
    explicit ScriptedPad(const VSTGUI::CRect& size = VSTGUI::CRect(0, 0, 10, 10))
        : CKOControl(size, nullptr, 519, nullptr) {
        for (int tag : {19, 20, 21, 22, 23, 24})
            values[tag] = 0.0f;
    }
    void set(int tag, float v) { values[tag] = v; }
    void moveLeft(float x, float y) { values[22] = x, values[23] = y; }
    void moveRight(float x, float y) { values[19] = x, values[20] = y; }

    bool hasTag(long tag) override { return tag != 0 && values.count(static_cast<int>(tag)) != 0; }
    float getValue(int tag) override { return values.count(tag) ? values[tag] : 0.0f; }
    using CKOControl::getValue;
    void draw(VSTGUI::CDrawContext*) override {}
    VSTGUI::CView* newCopy() const override { return new ScriptedPad(*this); }

  private:
    std::map<int, float> values;
};
