#include "app/graphs/BatchStatsDlg.h"

#include "app/framework/MessageService.h"
#include "app/graphs/BatchStatsText.h"
#include "app/shell/Resource.h"

#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

namespace {

// Where each field sits: group box (0 statistics, 1 details), column and row.
struct Place {
    UINT nID;
    int nColumn;
    int nRow;
};

constexpr Place kPlaces[] = {
    {IDC_BATCH_MEAN, 0, 0}, {IDC_BATCH_STDDEV, 0, 1},       {IDC_BATCH_CPK, 0, 2},
    {IDC_BATCH_CP, 0, 3},   {IDC_BATCH_MIN, 1, 0},          {IDC_BATCH_MAX, 1, 1},
    {IDC_BATCH_BLO, 1, 2},  {IDC_BATCH_GOOD, 0, 0},         {IDC_BATCH_BAD, 0, 1},
    {IDC_BATCH_SIZE, 0, 2}, {IDC_BATCH_GOOD_PERCENT, 1, 0}, {IDC_BATCH_BAD_PERCENT, 1, 1},
};

constexpr int kStatsTop = 7;
constexpr int kDetailsTop = 85;
constexpr int kRowHeight = 14;
constexpr int kBoxWidth = 179;

} // namespace

CBatchStatsDlg::CBatchStatsDlg(const CStats& stats, QWidget* pParent)
    : CDialog(pParent), m_stats(stats) {
    setWindowTitle(QStringLiteral("Batch Statistics"));
    setObjectName(QString::number(IDD_BATCH_STATISTICS));
    SetDialogSize(191, 186);

    auto* statsBox = new QGroupBox(QStringLiteral("Batch Statistics"), this);
    PlaceControl(statsBox, 7, kStatsTop, kBoxWidth, 70);
    auto* detailsBox = new QGroupBox(QStringLiteral("Batch Details"), this);
    PlaceControl(detailsBox, 7, kDetailsTop, kBoxWidth, 56);

    const std::vector<CBatchStatsText::Field> fields = CBatchStatsText::Format(m_stats);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const Place& place = kPlaces[i];
        const bool bDetails = fields[i].nID == IDC_BATCH_GOOD || fields[i].nID == IDC_BATCH_BAD ||
                              fields[i].nID == IDC_BATCH_SIZE ||
                              fields[i].nID == IDC_BATCH_GOOD_PERCENT ||
                              fields[i].nID == IDC_BATCH_BAD_PERCENT;
        const int y = (bDetails ? kDetailsTop : kStatsTop) + 13 + place.nRow * kRowHeight;
        // Values run to "-3276.8" and "100.0%", and the right column's labels are long: the
        // columns share the box's width so that every text is seen whole.
        const int labelX = place.nColumn == 0 ? 11 : 94;
        const int labelWidth = place.nColumn == 0 ? 49 : 57;
        const int textX = labelX + labelWidth;
        const int textWidth = 32;
        auto* label = new QLabel(QString::fromUtf8(fields[i].pszLabel), this);
        // The labels of the right column are long for the box: a little narrower type fits.
        QFont labelFont = label->font();
        labelFont.setStretch(QFont::SemiCondensed);
        label->setFont(labelFont);
        PlaceControl(label, labelX, y + 1, labelWidth, 9);
        auto* text = new QLabel(QString::fromStdString(fields[i].strText), this);
        text->setObjectName(QString::number(fields[i].nID));
        text->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        text->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        text->setIndent(2);
        PlaceControl(text, textX, y, textWidth, 11);
        m_fields[fields[i].nID] = text;
    }

    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QString::number(IDCANCEL));
    close->setDefault(true);
    PlaceControl(close, 70, 160, 50, 14);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

std::string CBatchStatsDlg::GetFieldText(UINT nID) const {
    auto it = m_fields.find(nID);
    return it != m_fields.end() ? it->second->text().toStdString() : std::string();
}
