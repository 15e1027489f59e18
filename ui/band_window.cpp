#include "ui/band_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QShortcut>
#include <QShowEvent>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

#include "rx/band_receiver.h"
#include "ui/band_waterfall.h"
#include "ui/rig_frequency.h"
#include "ui/text_panes.h"

namespace {

QString utc_time(std::time_t t) {
    return QDateTime::fromSecsSinceEpoch(static_cast<qint64>(t), Qt::UTC).toString("HH:mm:ss");
}

void set_cell(QTableWidget& table, int row, int column, const QString& text) {
    QTableWidgetItem* item = table.item(row, column);
    if (item == nullptr) {
        item = new QTableWidgetItem;
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        table.setItem(row, column, item);
    }
    if (item->text() != text) item->setText(text);
}

} // namespace

BandWindow::BandWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("BandWindow");
    setWindowTitle(kTitle);
    resize(800, 480);

    waterfall_ = new BandWaterfall(kFromHz, kToHz, this);
    connect(waterfall_, &BandWaterfall::mark_clicked, this, &BandWindow::tune_to);

    status_ = new QLabel(this);
    status_->setObjectName("BandStatus");
    tuning_ = new QLabel(this);
    tuning_->setObjectName("BandTuning");
    tuning_->setWordWrap(true);
    tuning_->setText("Click a station (a row or a mark) to tune to it.");
    age_ = new QSpinBox(this);
    age_->setObjectName("BandAge");
    age_->setRange(1, 120);
    age_->setValue(static_cast<int>(quavel::BandRows::kDefaultAge.count()));
    age_->setPrefix("Keep rows ");
    age_->setSuffix(" min");
    age_->setToolTip("A station not heard for this long leaves the list");
    connect(age_, &QSpinBox::valueChanged, this, [this](int minutes) {
        rows_.set_age(std::chrono::minutes(minutes));
        if (rows_.update(receiver_ ? receiver_->stations()
                                   : std::span<const quavel::BandStation>{}))
            refresh_table();
        emit age_changed(minutes);
    });

    table_ = new QTableWidget(0, Columns, this);
    table_->setObjectName("BandTable");
    table_->setHorizontalHeaderLabels(
        {"Audio Hz", "RF", "Speed", "SNR dB", "Heard UTC", "Call", "Latest text"});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setToolTip("Click a station to tune to it; double-click its call to put it in the "
                       "Other Station field; right-click to copy its text");
    connect(table_, &QTableWidget::cellClicked, this, [this](int row, int) { click_row(row); });
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int column) {
        const auto key = key_at(row);
        const quavel::BandRow* r = key ? rows_.find(*key) : nullptr;
        if (column == Call && r != nullptr && !r->call.empty())
            emit call_chosen(QString::fromStdString(r->call));
    });
    table_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(table_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const auto key = key_at(table_->rowAt(at.y()));
        if (!key) return;
        // Not exec(): a menu's own event loop would run the station's timers inside it.
        auto* menu = new QMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        connect(menu->addAction("&Copy Text"), &QAction::triggered, this,
                [this, key = *key] { copy_text(key); });
        menu->popup(table_->viewport()->mapToGlobal(at));
    });
    auto* copy_key =
        new QShortcut(QKeySequence::Copy, table_, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(copy_key, &QShortcut::activated, this, [this] {
        if (const auto key = key_at(table_->currentRow())) copy_text(*key);
    });

    auto* line = new QHBoxLayout;
    line->addWidget(status_);
    line->addStretch(1);
    line->addWidget(age_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(waterfall_);
    layout->addLayout(line);
    layout->addWidget(tuning_);
    layout->addWidget(table_, 1);
}

BandWindow::~BandWindow() = default;

void BandWindow::set_rf_source(std::function<std::optional<double>(double)> rf) {
    rf_ = std::move(rf);
}

void BandWindow::set_tuned(double centre_hz, std::optional<double> weak_hz) {
    waterfall_->set_tuned(centre_hz, weak_hz);
}

void BandWindow::show_tuning(const QString& text) {
    tuning_->setText(text);
}

QString BandWindow::tuning_text() const {
    return tuning_->text();
}

void BandWindow::count_lost_blocks(uint32_t blocks) {
    lost_blocks_ += blocks;
}

void BandWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous()) return;
    if (!receiver_) receiver_ = std::make_unique<quavel::BandReceiver>();
    receiver_->reset({kFromHz, kToHz, true});
    rows_.forget_stations();
    frames_drawn_ = 0;
    emit shown_changed(true);
}

void BandWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous()) emit shown_changed(false);
}

void BandWindow::push(std::span<const int16_t> samples) {
    if (!receiver_ || !isVisible()) return;
    receiver_->push(samples, rows_);
    const quavel::BandSpectrum& spectrum = receiver_->spectrum();
    if (spectrum.frames() != frames_drawn_) {
        frames_drawn_ = spectrum.frames();
        waterfall_->add_line(spectrum.latest(), quavel::BandSpectrum::kBinHz);
    }
    if (rows_.update(receiver_->stations())) refresh_table();
    for (const quavel::BandHeardLine& heard : rows_.take_lines())
        emit line_heard(heard);
    const QString status =
        QStringLiteral("%1 stations copied, %2 listed")
            .arg(receiver_->stations().size())
            .arg(rows_.rows().size()) +
        (lost_blocks_ > 0 ? QStringLiteral("; %1 blocks of audio missed").arg(lost_blocks_)
                          : QString());
    if (status_->text() != status) status_->setText(status);
}

std::optional<uint32_t> BandWindow::key_at(int index) const {
    if (index < 0 || index >= table_->rowCount()) return std::nullopt;
    const QTableWidgetItem* item = table_->item(index, Audio);
    if (item == nullptr) return std::nullopt;
    return item->data(Qt::UserRole).toUInt();
}

void BandWindow::click_row(int index) {
    if (const auto key = key_at(index)) tune_to(*key);
}

void BandWindow::tune_to(uint32_t key) {
    const quavel::BandRow* row = rows_.find(key);
    if (row == nullptr) return;
    emit tune_requested(row->freq_hz, row->speed);
}

void BandWindow::copy_text(uint32_t key) const {
    const quavel::BandRow* row = rows_.find(key);
    if (row == nullptr) return;
    QGuiApplication::clipboard()->setText(from_modem_text(row->text));
}

void BandWindow::refresh_table() {
    const std::optional<uint32_t> selected = key_at(table_->currentRow());
    const std::vector<quavel::BandRow>& rows = rows_.rows();
    table_->setRowCount(static_cast<int>(rows.size()));
    std::vector<BandWaterfall::Mark> marks;
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const quavel::BandRow& r = rows[static_cast<size_t>(i)];
        set_cell(*table_, i, Audio, QString::number(r.freq_hz, 'f', 1));
        table_->item(i, Audio)->setData(Qt::UserRole, r.key);
        const std::optional<double> rf = rf_ ? rf_(r.freq_hz) : std::nullopt;
        set_cell(*table_, i, Rf, rf ? QString::fromStdString(format_dial_hz(*rf)) : QString());
        set_cell(*table_, i, Speed, r.speed != 0 ? QString::number(r.speed) : QStringLiteral("?"));
        set_cell(*table_, i, Snr, r.snr_db ? QString::number(*r.snr_db, 'f', 0) : QString());
        set_cell(*table_, i, Heard, utc_time(r.heard_utc));
        set_cell(*table_, i, Call, QString::fromStdString(r.call));
        set_cell(*table_, i, Text, from_modem_text(r.line));
        if (r.station_id != 0) marks.push_back({r.key, r.freq_hz, r.locked});
    }
    waterfall_->set_marks(std::move(marks));
    if (selected)
        for (int i = 0; i < table_->rowCount(); ++i)
            if (key_at(i) == selected && table_->currentRow() != i) table_->selectRow(i);
}
