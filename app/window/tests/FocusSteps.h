// Steps a person takes with the keyboard and the mouse, for window tests on the offscreen
// platform: the window shown and active, a click into a field, its text erased with keys, and
// text put in and buttons pressed through the accessibility interface as assistive tools do
// (no key events, no focus change).
#pragma once

#include <QAccessible>
#include <QAccessibleEditableTextInterface>
#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

namespace px::testing {

inline void ShowActive(QWidget* window)
{
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
}

// A click into a widget: the focus moves there as it does for a person.
inline void ClickInto(QWidget* widget)
{
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
    ASSERT_TRUE(widget->hasFocus()) << widget->objectName().toStdString();
}

// Into a field, and its text erased with the keyboard.
inline void EraseByKeys(QLineEdit* field)
{
    ClickInto(field);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Backspace);
    ASSERT_EQ(field->text(), "");
}

// A click on a page's tab.
inline void ClickTab(QTabWidget* tabs, int page)
{
    QTabBar* bar = tabs->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(page).center());
    ASSERT_EQ(tabs->currentIndex(), page);
}

// The whole text replaced through the accessibility interface, as a screen reader's or a
// dictation tool's "set text" does.
inline void SetTextAccessibly(QWidget* field, const QString& text)
{
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(field);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(a->editableTextInterface(), nullptr);
    a->editableTextInterface()->replaceText(0, a->textInterface()->characterCount(), text);
}

// A button's press action through the accessibility interface: no click, no focus change.
inline void PressAccessibly(QWidget* button)
{
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(button);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(a->actionInterface(), nullptr);
    a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
}

} // namespace px::testing
