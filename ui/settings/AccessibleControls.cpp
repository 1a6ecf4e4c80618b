// SPDX-License-Identifier: MIT
#include "ui/settings/AccessibleControls.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QToolButton>

namespace {

// A checkable, auto-exclusive picture button: one of a group of options.
class OptionPictureButton : public QAccessibleWidget
{
public:
    explicit OptionPictureButton(QToolButton *button)
        : QAccessibleWidget(button, QAccessible::RadioButton)
    {
    }
    QAccessible::State state() const override
    {
        QAccessible::State st = QAccessibleWidget::state();
        st.checkable = true;
        st.checked = button()->isChecked();
        return st;
    }
    QStringList actionNames() const override { return QStringList {pressAction()} << QAccessibleWidget::actionNames(); }
    void doAction(const QString &action) override
    {
        if (action != pressAction())
            return QAccessibleWidget::doAction(action);
        if (button()->isEnabled())
            button()->click();
    }

private:
    QToolButton *button() const { return static_cast<QToolButton *>(widget()); }
};

// A drop-down list is named by its label (or its own accessible name), and its entry is its
// value; the stock one on this platform gives the entry as the name.
class NamedDropDownList : public QAccessibleWidget
{
public:
    explicit NamedDropDownList(QComboBox *list)
        : QAccessibleWidget(list, QAccessible::ComboBox)
    {
    }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Value ? list()->currentText() : QAccessibleWidget::text(t);
    }
    int childCount() const override { return 1; }
    QAccessibleInterface *child(int index) const override
    {
        return index == 0 ? QAccessible::queryAccessibleInterface(list()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child && child->object() == list()->view() ? 0 : -1;
    }
    QAccessible::State state() const override
    {
        QAccessible::State st = QAccessibleWidget::state();
        st.expandable = true;
        st.expanded = list()->view()->isVisible();
        return st;
    }
    QStringList actionNames() const override
    {
        return QStringList {showMenuAction(), pressAction()} << QAccessibleWidget::actionNames();
    }
    void doAction(const QString &action) override
    {
        if (action != showMenuAction() && action != pressAction())
            return QAccessibleWidget::doAction(action);
        if (list()->view()->isVisible())
            list()->hidePopup();
        else
            list()->showPopup();
    }

private:
    QComboBox *list() const { return static_cast<QComboBox *>(widget()); }
};

QAccessibleInterface *accessibleControl(const QString &className, QObject *object)
{
    if (className == QLatin1String("QToolButton")) {
        auto *button = static_cast<QToolButton *>(object);
        if (button->isCheckable() && button->autoExclusive())
            return new OptionPictureButton(button);
    } else if (className == QLatin1String("QComboBox")) {
        auto *list = static_cast<QComboBox *>(object);
        if (!list->isEditable())
            return new NamedDropDownList(list);
    }
    return nullptr;
}

} // namespace

void installAccessibleControls()
{
    [[maybe_unused]] static const bool installed = (QAccessible::installFactory(accessibleControl), true);
}
