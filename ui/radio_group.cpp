#include "ui/radio_group.h"

#include <QButtonGroup>
#include <QRadioButton>

namespace {
// Height of the form font's text line, which the title takes above the items.
constexpr int kTextHeight = 13;
} // namespace

RadioGroup::RadioGroup(QWidget* parent, const QString& name, const QString& title,
                       const QStringList& items, const QRect& geometry)
    : QGroupBox(title, parent), group_(new QButtonGroup(this)) {
    setObjectName(name);
    // A hidden widget hears of its size only when shown: place the items for it now.
    setGeometry(geometry);
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        button->setObjectName(name + QStringLiteral("_item%1").arg(i));
        group_->addButton(button, i);
        buttons_.push_back(button);
    }
    connect(group_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked && !updating_) emit clicked();
    });
    arrange_buttons();
}

int RadioGroup::itemIndex() const {
    return group_->checkedId();
}

void RadioGroup::setItemIndex(int index) {
    updating_ = true;
    if (index >= 0 && index < count()) {
        buttons_[static_cast<size_t>(index)]->setChecked(true);
    } else if (QAbstractButton* checked = group_->checkedButton()) {
        // An exclusive group never lets its last checked button go by itself.
        group_->setExclusive(false);
        checked->setChecked(false);
        group_->setExclusive(true);
    }
    updating_ = false;
}

void RadioGroup::resizeEvent(QResizeEvent* event) {
    QGroupBox::resizeEvent(event);
    arrange_buttons();
}

void RadioGroup::arrange_buttons() {
    if (buttons_.empty()) return;
    const int n = count();
    const int room = height() - kTextHeight - 5;
    const int item_height = room / n;
    const int top = kTextHeight + 1 + (room % n) / 2;
    for (int i = 0; i < n; ++i)
        buttons_[static_cast<size_t>(i)]->setGeometry(8, top + i * item_height, width() - 10,
                                                      item_height);
}
