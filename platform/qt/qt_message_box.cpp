#include "platform/qt/qt_message_box.h"

#include <QMessageBox>
#include <QString>

namespace quavel {

void QtMessageBox::show(const std::string& text, const std::string& title, MessageIcon icon) {
    QMessageBox::Icon qt_icon = QMessageBox::NoIcon;
    switch (icon) {
    case MessageIcon::None:
        qt_icon = QMessageBox::NoIcon;
        break;
    case MessageIcon::Warning:
        qt_icon = QMessageBox::Warning;
        break;
    case MessageIcon::Stop:
        qt_icon = QMessageBox::Critical;
        break;
    }
    QMessageBox box(qt_icon, QString::fromStdString(title), QString::fromStdString(text),
                    QMessageBox::Ok, nullptr);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

} // namespace quavel
