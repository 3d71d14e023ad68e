#pragma once

#include "platform/WorkbookReader.h"

#include <QObject>
#include <functional>

class QWidget;

namespace k27 {

class PageHost;

// btnInput of the cardholder page: choose a workbook, read it, import its rows, reload the
// list and tell the operator how many rows were imported and skipped.
class CardholderImportAction : public QObject
{
    Q_OBJECT
public:
    // `page` is the parent of the dialogs and of the progress; `showList` shows the list after
    // the import (the page's search, the list in front).
    CardholderImportAction(PageHost& host, QWidget* page, std::function<void()> showList, QObject* parent = nullptr);

    void run();
    bool isRunning() const { return m_running; }
    WorkbookReader& workbookReader() { return m_reader; }

private:
    PageHost& m_host;
    QWidget* m_page;
    std::function<void()> m_showList;
    WorkbookReader m_reader;
    // The import lets window events run; a second click meanwhile is ignored.
    bool m_running = false;
};

} // namespace k27
