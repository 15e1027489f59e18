// The main window against its layout: where every control is, what it shows and how it starts,
// the tab order, the menu, the timers and the handlers.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMetaMethod>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <gtest/gtest.h>
#include <memory>

#include "platform/hamlib/hamlib_ptt.h"
#include "ui/canvas_view.h"
#include "ui/form_timer.h"
#include "ui/memo.h"
#include "ui/quavel25.h"
#include "ui/radio_group.h"
#include "ui/readout_label.h"
#include "ui_support.h"

namespace {

class FormLayout : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        create_form();
    }
    QWidget* control(const char* name) const {
        auto* w = form->findChild<QWidget*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
};

TEST_F(FormLayout, WindowCaptionPlaceAndClientArea) {
    EXPECT_EQ(form->objectName(), "Form1");
    EXPECT_EQ(form->windowTitle(), "Quavel 2000 by Vexmar V2.5 ");
    EXPECT_EQ(form->pos(), QPoint(83, 72));
    EXPECT_EQ(form->centralWidget()->size(), QSize(465, 345));
    EXPECT_EQ(form->font().pixelSize(), 11);
    EXPECT_FALSE(form->windowIcon().isNull());
}

struct Placed {
    const char* name;
    int left, top, width, height; // width 0: sized by its caption
};

class ControlPlace : public FormLayout, public ::testing::WithParamInterface<Placed> {};

TEST_P(ControlPlace, SitsWhereTheLayoutPutsIt) {
    const Placed& p = GetParam();
    QWidget* w = control(p.name);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->pos(), QPoint(p.left, p.top)) << p.name;
    if (p.width > 0) {
        EXPECT_EQ(w->size(), QSize(p.width, p.height)) << p.name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layout, ControlPlace,
    ::testing::Values(Placed{"Label4", 0, 24, 0, 0}, Placed{"Label5", 280, 24, 0, 0},
                      Placed{"Image1", 0, 40, 320, 20}, Placed{"Image2", 0, 64, 128, 64},
                      Placed{"Image3", 128, 64, 80, 64}, Placed{"Label8", 280, 0, 0, 0},
                      Placed{"Label11", 328, 0, 0, 0}, Placed{"Label9", 328, 48, 0, 0},
                      Placed{"TrackBar1", 336, 16, 57, 29}, Placed{"Label12", 320, 64, 0, 0},
                      Placed{"RadioGroup3", 208, 64, 105, 65}, Placed{"Button12", 320, 80, 41, 25},
                      Placed{"Button13", 360, 80, 49, 25}, Placed{"Button14", 408, 80, 49, 25},
                      Placed{"Button7", 320, 104, 25, 25}, Placed{"Button8", 344, 104, 33, 25},
                      Placed{"Button10", 376, 104, 41, 25}, Placed{"Button11", 416, 104, 41, 25},
                      Placed{"Memo1", 0, 136, 232, 97}, Placed{"Memo2", 233, 136, 232, 97},
                      Placed{"Label10", 16, 236, 0, 0}, Placed{"Memo6", 0, 252, 97, 17},
                      Placed{"Memo5", 104, 232, 361, 41}, Placed{"Memo4", 0, 272, 465, 49},
                      Placed{"Button1", -11, 320, 68, 25}, Placed{"Button3", 56, 320, 57, 25},
                      Placed{"Button2", 112, 320, 73, 25}, Placed{"Button4", 184, 320, 73, 25},
                      Placed{"Button5", 256, 320, 65, 25}, Placed{"Button6", 320, 320, 89, 25},
                      Placed{"Button9", 408, 320, 57, 25}, Placed{"Panel2", 88, 0, 185, 13},
                      Placed{"Label3", 0, 0, 0, 0}, Placed{"Label7", 112, 0, 41, 13},
                      Placed{"Label6", 160, 0, 0, 0}, Placed{"Panel1", 8, 0, 169, 217},
                      Placed{"Label1", 8, 16, 0, 0}, Placed{"Label2", 8, 32, 0, 0},
                      Placed{"Memo3", 24, 48, 81, 17}, Placed{"RadioGroup1", 8, 88, 73, 89},
                      Placed{"RadioGroup2", 88, 88, 73, 89}, Placed{"BitBtn1", 8, 184, 65, 25},
                      Placed{"BitBtn2", 88, 184, 65, 25}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(FormLayout, ControlsInsidePanelsBelongToThem) {
    for (const char* name : {"Label3", "Label7", "Label6"})
        EXPECT_EQ(control(name)->parentWidget(), form->Panel2) << name;
    for (const char* name :
         {"Label1", "Label2", "Memo3", "RadioGroup1", "RadioGroup2", "BitBtn1", "BitBtn2"})
        EXPECT_EQ(control(name)->parentWidget(), form->Panel1) << name;
    EXPECT_EQ(form->Panel1->parentWidget(), form->centralWidget());
}

struct Captioned {
    const char* name;
    const char* caption;
};

class ControlCaption : public FormLayout, public ::testing::WithParamInterface<Captioned> {};

TEST_P(ControlCaption, ShowsItsCaption) {
    QWidget* w = control(GetParam().name);
    ASSERT_NE(w, nullptr);
    QString text;
    if (auto* label = qobject_cast<QLabel*>(w))
        text = label->text();
    else if (auto* button = qobject_cast<QAbstractButton*>(w))
        text = button->text();
    else if (auto* group = qobject_cast<QGroupBox*>(w))
        text = group->title();
    else if (auto* memo = qobject_cast<QPlainTextEdit*>(w))
        text = memo->toPlainText();
    EXPECT_EQ(text.toStdString(), GetParam().caption);
}

INSTANTIATE_TEST_SUITE_P(
    Layout, ControlCaption,
    ::testing::Values(
        Captioned{"Label4", "800 Hz"}, Captioned{"Label5", "1111 Hz"},
        Captioned{"Label8", "AFC On"}, Captioned{"Label11", "AutoSync On"},
        Captioned{"Label9", "Waterfall Sens."}, Captioned{"Label12", "Macros etc."},
        Captioned{"RadioGroup3", "Speed"}, Captioned{"Button12", "1.TXT"},
        Captioned{"Button13", "2.TXT"}, Captioned{"Button14", "3.TXT"}, Captioned{"Button7", "CQ"},
        Captioned{"Button8", "QRZ"}, Captioned{"Button10", "Macro1"},
        Captioned{"Button11", "Macro2"}, Captioned{"Memo1", ""}, Captioned{"Memo2", ""},
        Captioned{"Label10", "Other Station"}, Captioned{"Memo6", ""}, Captioned{"Memo5", ""},
        Captioned{"Memo4", ""}, Captioned{"Button1", "Tx ON"}, Captioned{"Button3", "CW I/D"},
        Captioned{"Button2", "Test On"}, Captioned{"Button4", "AFC Off"},
        Captioned{"Button5", "Print Off"}, Captioned{"Button6", "AutoSync Off"},
        Captioned{"Button9", "Tune Up"}, Captioned{"Label3", "Mouse Pointed Freq = "},
        Captioned{"Label7", ""}, Captioned{"Label6", "Hz"}, Captioned{"Label1", "SETUP OPTIONS"},
        Captioned{"Label2", "Enter Callsign"}, Captioned{"Memo3", ""},
        Captioned{"RadioGroup1", "PTT Function"}, Captioned{"RadioGroup2", "PTT Delay"},
        Captioned{"BitBtn1", "OK"}, Captioned{"BitBtn2", "Cancel"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(FormLayout, RadioGroupsHoldTheirItemsAndSelection) {
    const auto items = [](const RadioGroup* g) {
        QStringList out;
        for (int i = 0; i < g->count(); ++i)
            out << g->button(i)->text();
        return out;
    };
    EXPECT_EQ(items(form->RadioGroup3),
              QStringList({"1 Quavel/sec", "2 Quavel/sec", "4 Quavel/sec"}));
    EXPECT_EQ(form->RadioGroup3->itemIndex(), 1);
    EXPECT_EQ(items(form->RadioGroup1), QStringList({"COM1", "COM2", "COM3", "COM4", "NONE"}));
    EXPECT_EQ(form->RadioGroup1->itemIndex(), 4);
    EXPECT_EQ(items(form->RadioGroup2), QStringList({"OFF", "ON"}));
    EXPECT_EQ(form->RadioGroup2->itemIndex(), 0);
    // Every item lies inside its group, below the title.
    for (const RadioGroup* g : {form->RadioGroup1, form->RadioGroup2, form->RadioGroup3})
        for (int i = 0; i < g->count(); ++i) {
            const QRect r = g->button(i)->geometry();
            EXPECT_TRUE(g->rect().contains(r)) << g->objectName().toStdString() << i;
            EXPECT_GE(r.top(), 13);
        }
}

TEST_F(FormLayout, InitialStates) {
    EXPECT_TRUE(form->Button1->isEnabled());
    EXPECT_FALSE(form->Button3->isEnabled());
    EXPECT_FALSE(form->Button9->isEnabled());
    for (QWidget* w : {static_cast<QWidget*>(form->Button2), static_cast<QWidget*>(form->Button4),
                       static_cast<QWidget*>(form->Button5), static_cast<QWidget*>(form->Button6),
                       static_cast<QWidget*>(form->RadioGroup3)})
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_FALSE(form->Label8->isHidden());
    EXPECT_FALSE(form->Label11->isHidden());
    EXPECT_TRUE(form->Panel2->isHidden());
    EXPECT_TRUE(form->Panel1->isHidden());
    EXPECT_FALSE(form->Panel1->isEnabled());
    EXPECT_EQ(form->Label8->palette().color(QPalette::Window), QColor(0, 255, 255));
    EXPECT_EQ(form->Label11->palette().color(QPalette::Window), QColor(0, 255, 255));
    EXPECT_EQ(form->Panel2->palette().color(QPalette::Window), QColor(0, 255, 255));
    EXPECT_EQ(form->Memo5->palette().color(QPalette::Text), QColor(Qt::red));
    EXPECT_EQ(form->Label1->palette().color(QPalette::WindowText), QColor(Qt::white));
    EXPECT_EQ(form->Image1->cursor().shape(), Qt::CrossCursor);
    EXPECT_TRUE(form->BitBtn1->isDefault());

    EXPECT_EQ(form->TrackBar1->orientation(), Qt::Horizontal);
    EXPECT_EQ(form->TrackBar1->minimum(), 1);
    EXPECT_EQ(form->TrackBar1->maximum(), 5);
    EXPECT_EQ(form->TrackBar1->value(), 2);
    EXPECT_EQ(form->TrackBar1->tickInterval(), 1);
    EXPECT_EQ(form->TrackBar1->tickPosition(), QSlider::TicksBelow);

    for (QPlainTextEdit* pane :
         {static_cast<QPlainTextEdit*>(form->Memo1), static_cast<QPlainTextEdit*>(form->Memo2),
          static_cast<QPlainTextEdit*>(form->Memo4), static_cast<QPlainTextEdit*>(form->Memo5)})
        EXPECT_EQ(pane->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    for (QPlainTextEdit* field :
         {static_cast<QPlainTextEdit*>(form->Memo3), static_cast<QPlainTextEdit*>(form->Memo6)})
        EXPECT_EQ(field->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

TEST_F(FormLayout, TimersTickAtTheirIntervals) {
    EXPECT_EQ(form->Timer1->objectName(), "Timer1");
    EXPECT_EQ(form->Timer1->interval(), 2);
    EXPECT_TRUE(form->Timer1->isEnabled());
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(form->Timer2->interval(), 10);
    EXPECT_FALSE(form->Timer2->isEnabled());
    EXPECT_FALSE(form->Timer2->isActive());
    EXPECT_EQ(form->Timer3->interval(), 2);
    EXPECT_TRUE(form->Timer3->isActive());
}

// The form's own items keep their order; what the program adds beyond them (the Options menu,
// more File items) sits between them without displacing any.
TEST_F(FormLayout, MenuHasFileExitAndThreeTopLevelActionsInOrder) {
    ASSERT_EQ(form->menuBar(), form->MainMenu1);
    const QList<QAction*> top = form->MainMenu1->actions();
    ASSERT_GE(top.size(), 4);
    EXPECT_EQ(top.front()->text(), "&File");
    EXPECT_EQ(top.front()->menu(), form->File1);
    EXPECT_EQ(top.back(), form->About1);
    const qsizetype setup = top.indexOf(form->SetUp1);
    const qsizetype help = top.indexOf(form->Help1);
    ASSERT_GT(setup, 0);
    EXPECT_GT(help, setup);
    EXPECT_EQ(form->SetUp1->text(), "&Set Up");
    EXPECT_EQ(form->SetUp1->menu(), nullptr);
    EXPECT_EQ(form->Help1->text(), "&Help");
    EXPECT_EQ(form->About1->text(), "&About");
    EXPECT_TRUE(form->File1->actions().contains(form->Exit1));
    EXPECT_EQ(form->Exit1->text(), "E&xit");
    for (QAction* item : {form->Exit1, form->SetUp1, form->Help1, form->About1})
        EXPECT_TRUE(item->shortcut().isEmpty());
}

// The control a focus stop belongs to: a radio button stands for its group.
QString control_of(QWidget* w) {
    if (qobject_cast<QRadioButton*>(w) && qobject_cast<RadioGroup*>(w->parentWidget()))
        return w->parentWidget()->objectName();
    return w->objectName();
}

TEST_F(FormLayout, TabOrderFollowsTheForm) {
    QStringList order;
    QWidget* w = form->Memo1;
    for (int guard = 0; guard < 200; ++guard) {
        if (w->focusPolicy() & Qt::TabFocus) {
            const QString name = control_of(w);
            if (order.isEmpty() || order.last() != name) order << name;
        }
        w = w->nextInFocusChain();
        if (w == form->Memo1) break;
    }
    // The panels are no stops themselves: the setup panel's controls stand in its place and the
    // readout panel has none.
    const QStringList expected = {
        "Memo1",    "Memo2",       "BitBtn1",  "BitBtn2",  "Memo3",   "RadioGroup1", "RadioGroup2",
        "Memo4",    "Button1",     "Button3",  "Button2",  "Button4", "Button5",     "TrackBar1",
        "Button6",  "RadioGroup3", "Button7",  "Button8",  "Button9", "Memo5",       "Memo6",
        "Button10", "Button11",    "Button12", "Button13", "Button14"};
    EXPECT_EQ(order, expected);
}

TEST_F(FormLayout, DeclaresThe35HandlersInOrder) {
    const QMetaObject* meta = form->metaObject();
    QStringList handlers;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i)
        if (meta->method(i).methodType() == QMetaMethod::Slot)
            handlers << QString::fromLatin1(meta->method(i).name());
    const QStringList expected = {
        "FormActivate",  "Timer1Timer",   "Exit1Click",       "About1Click",   "Help1Click",
        "Image1MouseUp", "Image2MouseUp", "SetUp1Click",      "BitBtn1Click",  "BitBtn2Click",
        "Memo3KeyPress", "Memo4KeyPress", "Button1Click",     "Button3Click",  "Image1MouseMove",
        "FormMouseMove", "Button2Click",  "Button4Click",     "Button5Click",  "TrackBar1Change",
        "Timer2Timer",   "Button6Click",  "RadioGroup3Click", "Timer3Timer",   "Memo1Click",
        "Memo2Click",    "Button8Click",  "Button7Click",     "Button9Click",  "Memo6KeyPress",
        "Button10Click", "Button11Click", "Button12Click",    "Button13Click", "Button14Click"};
    EXPECT_EQ(handlers, expected);
}

} // namespace

namespace {

// The readouts at the right of the menu line, as the operator sees the window: every item of
// the menu stays on the line, and each readout reads (the whole text or its shorter form)
// without running into another or into an item, at the form's size and grown, after a restart.
class MenuReadouts : public FormTest {
protected:
    void TearDown() override {
        form.reset(); // before the adapter it was given
        FormTest::TearDown();
    }
    // The weak receiver chosen, and a rig that does not answer: all three readouts shown.
    void start_with_every_readout() {
        create_form();
        settings->set_ptt_method(AppSettings::PttMethod::Cat);
        settings->set_rig_port("127.0.0.1:1"); // nothing listens there
        form->set_keying_devices(nullptr, &cat);
        form->WeakReceiver1->setChecked(true);
        form->WeakReceiver1->triggered(true);
        form->show();
        activate();
        form->station().settle_keying();
        form->Timer1Timer();
        form->Timer3Timer();
        QApplication::processEvents();
        if (const QByteArray where = qgetenv("QUAVEL_SCREENSHOTS"); !where.isEmpty())
            form->grab().save(QString::fromLocal8Bit(where) + "/" +
                              ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                              ".png");
    }
    // Checks the line; `whole`: every readout shows its whole text.
    void expect_every_item_and_readout_reads(bool whole) {
        QMenuBar* bar = form->MainMenu1;
        for (auto* extension : bar->findChildren<QWidget*>("qt_menubar_ext_button"))
            EXPECT_FALSE(extension->isVisible()) << "an item went into the overflow menu";
        const QRect about = bar->actionGeometry(form->About1);
        ASSERT_FALSE(about.isEmpty());
        EXPECT_LE(about.right(), bar->width());
        std::vector<QRect> taken = {about};
        for (ReadoutLabel* label : {form->CentreReadout, form->WeakReadout, form->KeyingReadout}) {
            const std::string name = label->objectName().toStdString();
            ASSERT_TRUE(label->isVisible()) << name;
            const QRect at(label->mapTo(bar, QPoint(0, 0)), label->size());
            EXPECT_TRUE(bar->rect().contains(at)) << name;
            for (const QRect& other : taken)
                EXPECT_FALSE(at.intersects(other)) << name;
            taken.push_back(at);
            const QString shown = label->shown_text();
            if (whole) {
                EXPECT_EQ(shown, label->text()) << name;
            } else {
                EXPECT_TRUE(shown == label->text() || shown == label->short_text())
                    << name << ": " << shown.toStdString();
            }
            EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(shown)) << name;
        }
    }
    quavel::HamlibPtt cat;
};

TEST_F(MenuReadouts, AtTheFormsSizeAboutStaysOnTheLineAndEveryReadoutReads) {
    start_with_every_readout();
    ASSERT_EQ(form->centralWidget()->size(), QSize(TForm1::kClientWidth, TForm1::kClientHeight));
    EXPECT_EQ(form->KeyingReadout->text(), "rig not answering");
    EXPECT_EQ(form->WeakReadout->text(), "Weak: no signal");
    EXPECT_EQ(form->CentreReadout->text(), "Centre 1000 Hz");
    expect_every_item_and_readout_reads(false);
}

TEST_F(MenuReadouts, GrownAndRestartedEveryReadoutShowsItsWholeText) {
    create_form();
    form->show();
    form->resize(760, 500);
    QApplication::processEvents();
    form->close();
    form.reset();
    start_with_every_readout();
    ASSERT_GT(form->width(), 700);
    expect_every_item_and_readout_reads(true);
}

TEST_F(MenuReadouts, TheKeyingReadoutIsHiddenWhileAllIsWell) {
    create_form();
    form->show();
    activate();
    form->Timer3Timer();
    EXPECT_TRUE(form->KeyingReadout->isHidden());
    EXPECT_TRUE(form->KeyingReadout->text().isEmpty());
}

} // namespace
