// A titled group of radio buttons with one selected item (or none), laid out as the form's radio
// groups are: one column, the items spread evenly over the height below the title.
#pragma once

#include <QGroupBox>
#include <QStringList>
#include <vector>

class QButtonGroup;
class QRadioButton;

class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    RadioGroup(QWidget* parent, const QString& name, const QString& title, const QStringList& items,
               const QRect& geometry);

    // -1 when no item is selected.
    int itemIndex() const;
    // Selects item `index` (-1 or an index outside the items clears the selection). Does not
    // emit clicked().
    void setItemIndex(int index);
    int count() const { return static_cast<int>(buttons_.size()); }
    QRadioButton* button(int index) const { return buttons_.at(static_cast<size_t>(index)); }

signals:
    // The operator selected another item (by mouse or keyboard).
    void clicked();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void arrange_buttons();

    QButtonGroup* group_;
    std::vector<QRadioButton*> buttons_;
    bool updating_ = false;
};
