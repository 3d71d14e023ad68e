// The grid's output: its page setup, printing (with the preview), PDF and export files, and
// the observer told of each output made.
#include "platform/Grid.h"

#include "platform/Dialogs.h"
#include "platform/GridExporter.h"
#include "platform/GridPrinter.h"

#include <QFileInfo>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>

namespace k27 {

GridPageSetup& Grid::pageSetup()
{
    return m_pageSetup;
}
const GridPageSetup& Grid::pageSetup() const
{
    return m_pageSetup;
}
void Grid::setPageSetup(const GridPageSetup& setup)
{
    m_pageSetup = setup;
}

void Grid::renderTo(QPrinter* printer) const
{
    GridPrinter printing(*this);
    printing.setPageLimit(m_printPages);
    printing.render(printer);
}

namespace {
Grid::PrintPagesQuestion& printPagesQuestion()
{
    static Grid::PrintPagesQuestion question;
    return question;
}
} // namespace

void Grid::setPrintPagesQuestion(PrintPagesQuestion question)
{
    printPagesQuestion() = std::move(question);
}

namespace {
Grid::OutputObserver& outputObserver()
{
    static Grid::OutputObserver observer;
    return observer;
}
} // namespace

void Grid::setOutputObserver(OutputObserver observer)
{
    outputObserver() = std::move(observer);
}

void Grid::tellOutput(Output kind, const QString& file) const
{
    if (outputObserver())
        outputObserver()(*this, kind, qMax(0, rows() - 1), file);
}

int Grid::choosePrintPages(QPrinter* printer, QWidget* parent)
{
    GridPrinter::applyLayout(m_pageSetup, printer);
    const int pages = GridPrinter(*this).pageCount(printer);
    m_printPages = 0;
    if (pages <= LargePrintPages || !printPagesQuestion())
        return pages;
    m_printPages = GridPrinter::pagesFromAnswer(printPagesQuestion()(parent ? parent : this, pages), pages);
    return m_printPages;
}

void Grid::print(QWidget* parent)
{
    QPrinter printer(QPrinter::HighResolution);
    // Without any printer installed the preview still works and prints to PDF.
    if (QPrinterInfo::availablePrinters().isEmpty())
        printer.setOutputFormat(QPrinter::PdfFormat);
    if (choosePrintPages(&printer, parent) == 0)
        return;
    QPrintPreviewDialog preview(&printer, parent ? parent : this);
    preview.setWindowTitle(m_pageSetup.title.isEmpty() ? objectName() : m_pageSetup.title);
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* p) { renderTo(p); });
    if (QScreen* screen = (parent ? parent : this)->screen())
        preview.setGeometry(previewGeometry(screen->availableGeometry()));
    // The preview accepts once it has printed.
    if (preview.exec() == QDialog::Accepted)
        tellOutput(Output::Print,
                   printer.outputFormat() == QPrinter::PdfFormat ? printer.outputFileName() : printer.printerName());
}

QRect Grid::previewGeometry(const QRect& available)
{
    constexpr QSize preferred(1000, 760);
    // The frame the window system draws around the dialog lies outside its geometry.
    constexpr QMargins frame(6, 32, 6, 6);
    const QRect inside = available.marginsRemoved(frame);
    QRect geometry(QPoint(), preferred.boundedTo(inside.size()));
    geometry.moveCenter(inside.center());
    return geometry;
}

bool Grid::printToPdf(const QString& path)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    m_printPages = 0;
    if (!GridPrinter(*this).render(&printer))
        return false;
    const QFileInfo info(path);
    const bool written = info.exists() && info.size() > 0;
    if (written)
        tellOutput(Output::Print, path);
    return written;
}

QString Grid::exportFilter()
{
    return QStringLiteral("Excel (*.xlsx);;CSV (*.csv)");
}

GridExportResult Grid::exportToFile(Dialogs& dialogs, const QString& fileName, bool withHeaderRow, bool withRowNumbers,
                                    const QString& dialogTitle, const RowProgress& progress)
{
    QString file = fileName;
    if (file.isEmpty()) {
        file = dialogs.saveFile(this, dialogTitle, exportFilter(), {}, Dialogs::FileKind::Export);
        if (file.isEmpty())
            return GridExportResult::cancelled();
    }
    GridExporter exporter(*this, withHeaderRow, withRowNumbers);
    exporter.setProgress(progress);
    GridExportResult result = exporter.write(file);
    if (result.ok())
        tellOutput(Output::Export, result.fileName);
    return result;
}

} // namespace k27
