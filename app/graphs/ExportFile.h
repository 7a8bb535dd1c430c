#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

class CView;
class QImage;
class QWidget;

// What the Export... command of the data windows shares: asking where to write and in which
// format, and writing the file safely (a temporary file renamed over the target), so that a
// failed export never leaves half a file behind.
class CExportFile {
public:
    enum class Format { csv, png, pdf };

    struct Choice {
        std::string strPath;
        Format format = Format::csv;
    };

    // The file dialog, its filters the formats in the order given; none when cancelled. A name
    // typed with a known suffix takes that format; without one it gets the filter's suffix.
    static std::optional<Choice> Ask(QWidget* pParent, const std::string& strSuggested,
                                     const std::vector<Format>& formats);
    static const char* Suffix(Format format);

    // False with the system's reason when the file could not be written.
    static bool WriteBytes(const std::string& strPath, const std::string& bytes,
                           std::string* pReason);
    static bool WriteImage(const std::string& strPath, const QImage& image, std::string* pReason);
    // The view printed on one A4 landscape page of a PDF document, through its own printing.
    static bool WritePrinted(const std::string& strPath, CView* pView, std::string* pReason);

    // A graph window's export: the CSV text the window makes of its data, the view as shown
    // (PNG) or as printed (PDF).
    static bool WriteGraph(const std::string& strPath, Format format, CView* pView,
                           const std::function<std::string()>& makeCsv, std::string* pReason);
    // Export... of a graph window: asks where to, writes, and reports a failure.
    static void AskAndWriteGraph(CView* pView, const std::string& strTitle,
                                 const std::function<std::string()>& makeCsv);

    // The message of a failed export, naming the file and why.
    static void ReportFailure(const std::string& strPath, const std::string& strReason);
    // A window title made fit to be a file name (no slashes or other troublesome characters).
    static std::string FileNameFrom(const std::string& strTitle);
};
