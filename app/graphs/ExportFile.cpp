#include "app/graphs/ExportFile.h"

#include "app/framework/Dialog.h"
#include "app/framework/MessageService.h"
#include "app/framework/StringTable.h"
#include "app/framework/View.h"
#include "app/shell/Resource.h"
#include "base/FileIO.h"

#include <QBuffer>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>

namespace {

const char* FilterOf(CExportFile::Format format) {
    switch (format) {
    case CExportFile::Format::csv:
        return "CSV Tables (*.csv)";
    case CExportFile::Format::png:
        return "PNG Pictures (*.png)";
    case CExportFile::Format::pdf:
        return "PDF Documents (*.pdf)";
    }
    return "";
}

} // namespace

const char* CExportFile::Suffix(Format format) {
    switch (format) {
    case Format::csv:
        return "csv";
    case Format::png:
        return "png";
    case Format::pdf:
        return "pdf";
    }
    return "";
}

std::optional<CExportFile::Choice> CExportFile::Ask(QWidget* pParent,
                                                    const std::string& strSuggested,
                                                    const std::vector<Format>& formats) {
    if (CMessageService::IsEnding() || formats.empty()) {
        return std::nullopt;
    }
    QFileDialog dialog(pParent, QStringLiteral("Export"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    QStringList filters;
    for (Format format : formats) {
        filters << QString::fromLatin1(FilterOf(format));
    }
    dialog.setNameFilters(filters);
    dialog.selectFile(QString::fromStdString(strSuggested) + QLatin1Char('.') +
                      QString::fromLatin1(Suffix(formats.front())));
    // The suggested name follows the filter the operator picks.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog, &filters, &formats, strSuggested](const QString& filter) {
                         const auto at = filters.indexOf(filter);
                         if (at >= 0) {
                             dialog.selectFile(QString::fromStdString(strSuggested) +
                                               QLatin1Char('.') +
                                               QString::fromLatin1(Suffix(formats[at])));
                         }
                     });
    if (CDialog::RunModal(dialog) != IDOK || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    Choice choice;
    QString path = dialog.selectedFiles().front();
    const auto picked = filters.indexOf(dialog.selectedNameFilter());
    choice.format = formats[picked >= 0 ? static_cast<std::size_t>(picked) : 0];
    const QString suffix = QFileInfo(path).suffix().toLower();
    bool bKnown = false;
    for (Format format : formats) {
        if (suffix == QLatin1String(Suffix(format))) {
            choice.format = format;
            bKnown = true;
        }
    }
    if (!bKnown) {
        path += QLatin1Char('.') + QString::fromLatin1(Suffix(choice.format));
    }
    choice.strPath = path.toStdString();
    return choice;
}

bool CExportFile::WriteBytes(const std::string& strPath, const std::string& bytes,
                             std::string* pReason) {
    const std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
    if (!WriteFileAtomically(strPath, data)) {
        if (pReason != nullptr) {
            *pReason = std::strerror(errno);
        }
        return false;
    }
    return true;
}

bool CExportFile::WriteImage(const std::string& strPath, const QImage& image,
                             std::string* pReason) {
    QByteArray png;
    QBuffer buffer(&png);
    if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) {
        if (pReason != nullptr) {
            *pReason = "the picture could not be made";
        }
        return false;
    }
    return WriteBytes(strPath, png.toStdString(), pReason);
}

bool CExportFile::WritePrinted(const std::string& strPath, CView* pView, std::string* pReason) {
    // The printer writes its own file: it goes to a private folder first, and from there to
    // the target in one safe step.
    QTemporaryDir folder;
    const QString printed = folder.filePath(QStringLiteral("export.pdf"));
    bool bPrinted = false;
    if (folder.isValid() && pView != nullptr) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(printed);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setPageOrientation(QPageLayout::Landscape);
        printer.setDocName(pView->windowTitle());
        bPrinted = pView->PrintTo(&printer, false, true);
    }
    std::vector<std::uint8_t> data;
    if (!bPrinted || !ReadWholeFile(printed.toStdString(), data) || data.empty()) {
        if (pReason != nullptr) {
            *pReason = "the document could not be made";
        }
        return false;
    }
    return WriteBytes(strPath, std::string(data.begin(), data.end()), pReason);
}

void CExportFile::ReportFailure(const std::string& strPath, const std::string& strReason) {
    std::string text = CStringTable::Format1(IDS_EXPORT_FAILED, strPath);
    if (!strReason.empty()) {
        text += "\n\n" + strReason;
    }
    AfxMessageBox(text, MB_OK | MB_ICONSTOP);
}

std::string CExportFile::FileNameFrom(const std::string& strTitle) {
    std::string name;
    for (char c : strTitle) {
        const bool bBad = c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' ||
                          c == '<' || c == '>' || c == '|' || static_cast<unsigned char>(c) < 32;
        name += bBad ? '_' : c;
    }
    while (!name.empty() && (name.back() == ' ' || name.back() == '.')) {
        name.pop_back();
    }
    return name.empty() ? std::string("export") : name;
}

bool CExportFile::WriteGraph(const std::string& strPath, Format format, CView* pView,
                             const std::function<std::string()>& makeCsv, std::string* pReason) {
    switch (format) {
    case Format::csv:
        return WriteBytes(strPath, makeCsv(), pReason);
    case Format::png:
        return WriteImage(strPath, pView->grab().toImage(), pReason);
    case Format::pdf:
        return WritePrinted(strPath, pView, pReason);
    }
    return false;
}

void CExportFile::AskAndWriteGraph(CView* pView, const std::string& strTitle,
                                   const std::function<std::string()>& makeCsv) {
    const auto choice = Ask(pView, FileNameFrom(strTitle), {Format::csv, Format::png, Format::pdf});
    std::string reason;
    if (choice && !WriteGraph(choice->strPath, choice->format, pView, makeCsv, &reason)) {
        ReportFailure(choice->strPath, reason);
    }
}
