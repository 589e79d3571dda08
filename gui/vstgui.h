// The whole toolkit in one include.
#pragma once

#include "gui/CBaseObject.h"
#include "gui/CBitmap.h"
#include "gui/CControls.h"
#include "gui/CDrawContext.h"
#include "gui/CFrame.h"
#include "gui/CGeometry.h"
#include "gui/COptionMenu.h"
#include "gui/CPlatformFrame.h"
#include "gui/CVSTGUITimer.h"
#include "gui/CView.h"
#include "gui/PluginGUIEditor.h"
#include "gui/VSTGUIEditorInterface.h"
