#include "Frmmain.h"

#include "startup/AppContext.h"

namespace k27 {

Frmmain::Frmmain(AppContext& context, QWidget* parent)
    : QWidget(parent)
    , m_context(context)
{
    setObjectName(QStringLiteral("Frmmain"));
    setWindowTitle(m_context.settings.language == 2 ? QStringLiteral("K27 Center Entrance Guard Management System")
                   : m_context.settings.language == 1 ? QStringLiteral("K27中心髮卡門禁管理系統")
                                                     : QStringLiteral("K27中心发卡门禁管理系统"));
    resize(1280, 800);
}

} // namespace k27
