#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "platform/qt/qt_message_box.h"

namespace quavel {
namespace {

struct Seen {
    bool found = false;
    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool has_parent = true;
    bool modal = false;
    QStringList buttons;
};

struct IconCase {
    const char* name;
    MessageIcon icon;
    QMessageBox::Icon expected;
    friend void PrintTo(const IconCase& c, std::ostream* os) { *os << c.name; }
};

class QtMessageBoxShows : public ::testing::TestWithParam<IconCase> {};

TEST_P(QtMessageBoxShows, ModalOwnerlessBoxWithTextTitleIconAndOk) {
    Seen seen;
    // The box blocks in its own event loop; look at it from there and press OK.
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        seen.found = true;
        seen.text = box->text();
        seen.title = box->windowTitle();
        seen.icon = box->icon();
        seen.has_parent = box->parentWidget() != nullptr;
        seen.modal = box->isModal();
        for (QAbstractButton* b : box->buttons())
            seen.buttons << b->text();
        QAbstractButton* ok = box->button(QMessageBox::Ok);
        if (ok != nullptr)
            ok->click();
        else
            box->reject();
        poll.stop();
    });
    poll.start();
    QTimer::singleShot(5000, [] {
        if (QWidget* w = QApplication::activeModalWidget()) w->close();
    });

    QtMessageBox().show("Cannot Open Audio Input Device", "Vexmar Quavel2000 Program",
                        GetParam().icon);

    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.text, QStringLiteral("Cannot Open Audio Input Device"));
    EXPECT_EQ(seen.title, QStringLiteral("Vexmar Quavel2000 Program"));
    EXPECT_EQ(seen.icon, GetParam().expected);
    EXPECT_FALSE(seen.has_parent);
    EXPECT_TRUE(seen.modal);
    EXPECT_EQ(seen.buttons.size(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Icons, QtMessageBoxShows,
    ::testing::Values(IconCase{"Warning", MessageIcon::Warning, QMessageBox::Warning},
                      IconCase{"None", MessageIcon::None, QMessageBox::NoIcon},
                      IconCase{"Stop", MessageIcon::Stop, QMessageBox::Critical}),
    [](const ::testing::TestParamInfo<IconCase>& param_info) {
        return std::string(param_info.param.name);
    });

} // namespace
} // namespace quavel
