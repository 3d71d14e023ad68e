#pragma once

#include <QWidget>

namespace k27 {

class AppContext;

// The main window (an empty shell for now).
class Frmmain : public QWidget
{
    Q_OBJECT
public:
    explicit Frmmain(AppContext& context, QWidget* parent = nullptr);

private:
    AppContext& m_context;
};

} // namespace k27
