#include "gui/PluginGUIEditor.h"

#include <dlfcn.h>
#include <filesystem>
#include <unistd.h>

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"
#include "gui/CFrame.h"
#include "gui/CVSTGUITimer.h"

namespace VSTGUI {

namespace {

long gKnobMode = kCircularMode;

bool before(uint32_t a, uint32_t b) {
    return static_cast<int32_t>(a - b) < 0;
}

} // namespace

void setToolkitKnobMode(long mode) {
    gKnobMode = mode;
}
long getToolkitKnobMode() {
    return gKnobMode;
}

std::string PluginGUIEditor::bundleDirectory() {
    Dl_info info;
    if (!dladdr(reinterpret_cast<void*>(&PluginGUIEditor::bundleDirectory), &info) || !info.dli_fname)
        return std::string();
    std::string path = info.dli_fname;
    if (path.empty()) return std::string();
    if (path[0] != '/') {
        char cwd[4096];
        if (!getcwd(cwd, sizeof cwd)) return std::string();
        path = std::string(cwd) + "/" + path;
    }
    path = std::filesystem::path(path).lexically_normal().string();
    for (int up = 0; up < 3; ++up) {
        const std::size_t slash = path.find_last_of('/');
        if (slash == std::string::npos) return std::string();
        path.erase(slash);
    }
    return path.empty() ? std::string("/") : path;
}

PluginGUIEditor::PluginGUIEditor(void* hostPointer) : effect(hostPointer), nextIdleTime(getTicks()) {
    retainBundle(bundleDirectory());
}

PluginGUIEditor::~PluginGUIEditor() {
    releaseBundle();
}

bool PluginGUIEditor::getRect(ERect** out) {
    if (!out) return false;
    *out = &rect;
    return true;
}

bool PluginGUIEditor::open(void* window) {
    systemWindow = window;
    return true;
}

void PluginGUIEditor::close() {
    systemWindow = nullptr;
}

void PluginGUIEditor::idle() {
    if (frame) frame->idle();
}

void PluginGUIEditor::draw(ERect* area) {
    if (!frame) return;
    if (!area) {
        frame->draw(nullptr);
        return;
    }
    CDrawContext* context = frame->createDrawContext();
    frame->drawRect(context, CRect(area->left, area->top, area->right, area->bottom));
    context->forget();
}

void PluginGUIEditor::setKnobMode(int mode) {
    setToolkitKnobMode(mode);
}

long PluginGUIEditor::getKnobMode() const {
    return getToolkitKnobMode();
}

uint32_t PluginGUIEditor::getTicks() {
    return UIEventLoop::get().getTicks();
}

void PluginGUIEditor::doIdleStuff() {
    uint32_t now = getTicks();
    if (before(now, nextIdleTime)) {
        UIEventLoop::get().run(0.004);
        now += 4;
        if (before(now + 50, nextIdleTime)) return;
    }
    idle();
    if (frame) frame->dispatchPendingExpose();
    nextIdleTime = now + 100;
}

} // namespace VSTGUI
