#pragma once

#include "app/system/SidebarItem.h"

class AppModel;
class QWidget;

// The one place that knows which screen belongs to which sidebar item. Every call
// builds the screen afresh in its initial state.
namespace DetailRouter {

QWidget* makeScreen(SidebarItem item, AppModel& model, QWidget* parent);

} // namespace DetailRouter
