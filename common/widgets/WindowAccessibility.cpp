#include "WindowAccessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>

#include "WindowConventions.h"

namespace {

QAccessibleInterface* WindowInterface(const QString&, QObject* object) {
    auto* window = qobject_cast<WindowConventions*>(object);
    if (window == nullptr || !window->isWindow())
        return nullptr;
    // The name of a window without an accessible name of its own is its
    // title. Qt's accessibility cache owns the interface.
    return new QAccessibleWidget(window, QAccessible::Window);
}

}  // namespace

void InstallWindowAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(WindowInterface);
        return true;
    }();
    (void)installed;
}
