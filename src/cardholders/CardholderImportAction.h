#pragma once

#include "platform/DuplicateAnswer.h"
#include "platform/RunGuard.h"
#include "startup/WorkbookImportAction.h"

#include <QObject>
#include <functional>

class QWidget;

namespace k27 {

class PageHost;

// btnInput of the cardholder page: the workbook import of the cardholder register.
class CardholderImportAction : public QObject
{
    Q_OBJECT
public:
    // `page` is the parent of the dialogs and of the progress; `showList` shows the list after
    // the import (the page's search, the list in front).
    CardholderImportAction(PageHost& host, QWidget* page, std::function<void()> showList, QObject* parent = nullptr);

    void run();
    bool isRunning() const { return m_action.isRunning(); }
    WorkbookReader& workbookReader() { return m_action.workbookReader(); }

private:
    PageHost& m_host;
    QWidget* m_page;
    std::function<void()> m_showList;
    WorkbookImportAction m_action;
};

} // namespace k27
