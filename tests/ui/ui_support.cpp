#include "ui_support.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <clocale>
#include <gtest/gtest.h>

#include "ui/app_settings.h"
#include "ui/quavel_application.h"

namespace {

QuavelApplication* application = nullptr;

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        // No display in the test run: windows live in memory.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        // Neither the windows nor the consoles the tests start touch the user's own settings.
        static QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        // Nor listen on the control API's port, which a console of the operator's may hold:
        // the tests that want it name a port of their own.
        QSettings(config.path() + "/Quavel/quavel.ini", QSettings::IniFormat)
            .setValue("api/enabled", false);
        // Nor the user's contact log, which every window reads at start.
        static QTemporaryDir data;
        qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
        static int argc = 1;
        static char name[] = "ui_tests";
        static char* argv[] = {name, nullptr};
        application = new QuavelApplication(argc, argv);
        // As the console's main() does: hamlib runs under the C numeric locale.
        std::setlocale(LC_NUMERIC, "C");
    }
    void TearDown() override {
        delete application;
        application = nullptr;
    }
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

} // namespace

QuavelApplication& test_application() {
    return *application;
}

void write_file(const QString& dir, const QString& name, const std::string& text) {
    QFile file(QDir(dir).filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
    file.write(text.data(), static_cast<qint64>(text.size()));
}

std::string read_file(const QString& dir, const QString& name) {
    QFile file(QDir(dir).filePath(name));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll().toStdString();
}

void FormTest::SetUp() {
    test_application();
    ASSERT_TRUE(dir.isValid());
}

void FormTest::TearDown() {
    form.reset();
}

void FormTest::create_form(ConsoleOptions options) {
    settings = std::make_unique<AppSettings>(path(QStringLiteral("quavel.ini")));
    form = std::make_unique<TForm1>(messages, options, dir.path(), settings.get());
    form->station().set_audio_input(&input);
    form->station().set_audio_output(&output);
    form->station().set_ptt(&ptt);
}

void FormTest::activate() {
    QEvent activation(QEvent::WindowActivate);
    QApplication::sendEvent(form.get(), &activation);
    // The keying port opens on the station's keying thread.
    form->station().settle_keying();
}

QString FormTest::path(const QString& name) const {
    return QDir(dir.path()).filePath(name);
}
