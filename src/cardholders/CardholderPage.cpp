#include "CardholderPage.h"

#include "cardholders/CardholderImportAction.h"
#include "cardholders/CardholderTable.h"
#include "cardholders/PhotoPath.h"
#include "db/DatabaseSession.h"
#include "pagehost/PageHost.h"
#include "platform/FormControls.h"
#include "platform/Dialogs.h"
#include "platform/Grid.h"
#include "platform/ImportProgress.h"
#include "startup/AppContext.h"
#include "startup/Messages.h"
#include "startup/TextUtil.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

namespace k27 {

using namespace form;

CardholderPage::CardholderPage(PageHost& host, CardholderTable& cardholders, QWidget* parent)
    : QWidget(parent), m_host(host), m_cardholders(cardholders)
{
    setObjectName(QStringLiteral("CardholderPage"));
    buildAddFrame();
    buildSearchFrame();

    GridU = named(new Grid(this), QStringLiteral("GridU"));
    GridU->setEnterOpensRow(true);

    auto* top = new QHBoxLayout;
    top->setSpacing(10);
    top->addWidget(frameAdd, 5);
    top->addWidget(frameSearch, 4);
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(10, 8, 10, 10);
    page->setSpacing(8);
    page->addLayout(top);
    page->addWidget(GridU, 1);

    // The export buffer is never shown.
    GridTemp = named(new Grid(this), QStringLiteral("GridTemp"));
    GridTemp->hide();
    connectHandlers();
}

// Frame "添加用户": two columns of fields beside the photo, buttons underneath.
void CardholderPage::buildAddFrame()
{
    frameAdd = frame(this, QStringLiteral("Frame40"), QStringLiteral("添加用户"));
    TxtName = lineEdit(frameAdd, QStringLiteral("TxtName"), 50);
    Combo1 = combo(frameAdd, QStringLiteral("Combo1"), -1, false);
    Combo1->addItems({QStringLiteral("男"), QStringLiteral("女")});
    TxtDp = lineEdit(frameAdd, QStringLiteral("TxtDp"), 100);
    TxtJob = lineEdit(frameAdd, QStringLiteral("TxtJob"), 50);
    txtAd = lineEdit(frameAdd, QStringLiteral("txtAd"), 200);
    txtTel = lineEdit(frameAdd, QStringLiteral("txtTel"), 50);
    Image1 = named(new QLabel(QStringLiteral("双击选择照片"), frameAdd), QStringLiteral("Image1"));
    Image1->setFixedSize(112, 140);
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setWordWrap(true);
    Image1->setFrameShape(QFrame::StyledPanel);
    Image1->setStyleSheet(QStringLiteral("QLabel#Image1 { background: #f4f6f9; color: #5a6472; }"));
    Image1->installEventFilter(this);
    m_imageHint = Image1->text();
    btnInsert = button(frameAdd, QStringLiteral("btnInsert"), QStringLiteral("添加"));
    BtnUpdate = button(frameAdd, QStringLiteral("BtnUpdate"), QStringLiteral("修改"));
    BtnUpdate->setEnabled(false);
    btnCls = button(frameAdd, QStringLiteral("btnCls"), QStringLiteral("清空"));

    auto* fields = new QGridLayout;
    fields->setHorizontalSpacing(8);
    fields->setVerticalSpacing(8);
    const struct
    {
        const char* name;
        const char* caption;
        QWidget* field;
        int row, col;
    } addFields[] = {
        {"Label40", "姓名：", TxtName, 0, 0}, {"Label41", "性别：", Combo1, 0, 2}, {"Label42", "部门：", TxtDp, 1, 0},
        {"Label43", "职位：", TxtJob, 1, 2},  {"Label44", "住址：", txtAd, 2, 0},  {"Label45", "电话：", txtTel, 2, 2},
    };
    for (const auto& f : addFields) {
        fields->addWidget(label(frameAdd, QLatin1String(f.name), QString::fromUtf8(f.caption)), f.row, f.col);
        fields->addWidget(f.field, f.row, f.col + 1);
    }
    fields->setColumnStretch(1, 1);
    fields->setColumnStretch(3, 1);
    auto* addButtons = new QHBoxLayout;
    addButtons->addStretch();
    addButtons->addWidget(btnInsert);
    addButtons->addWidget(BtnUpdate);
    addButtons->addWidget(btnCls);
    fields->addLayout(addButtons, 3, 0, 1, 4);
    auto* addLayout = new QHBoxLayout(frameAdd);
    addLayout->addLayout(fields, 1);
    addLayout->addSpacing(8);
    addLayout->addWidget(Image1, 0, Qt::AlignTop);
}

// Frame "检索": the four search fields, then the list buttons.
void CardholderPage::buildSearchFrame()
{
    frameSearch = frame(this, QStringLiteral("Frame41"), QStringLiteral("检索"));
    auto* search = new QGridLayout(frameSearch);
    search->setHorizontalSpacing(8);
    search->setVerticalSpacing(8);
    const char* searchLabels[4][2] = {
        {"Label46", "姓名检索："}, {"Label47", "卡号检索："}, {"Label48", "部门检索："}, {"Label49", "住址检索："}};
    for (int i = 0; i < 4; ++i) {
        auto* field = combo(frameSearch, QStringLiteral("CmbF"), i);
        field->lineEdit()->setMaxLength(CardholderTable::SearchTextLength);
        CmbF << field;
        search->addWidget(label(frameSearch, QLatin1String(searchLabels[i][0]), QString::fromUtf8(searchLabels[i][1])),
                          i / 2, (i % 2) * 2);
        search->addWidget(field, i / 2, (i % 2) * 2 + 1);
        connect(field, &QComboBox::editTextChanged, this, &CardholderPage::searchChanged);
        connect(field, &QComboBox::activated, this, &CardholderPage::searchChanged);
    }
    search->setColumnStretch(1, 1);
    search->setColumnStretch(3, 1);
    btndel = button(frameSearch, QStringLiteral("btndel"), QStringLiteral("删除"));
    btnInput = button(frameSearch, QStringLiteral("btnInput"), QStringLiteral("导入"));
    btnEx = button(frameSearch, QStringLiteral("btnEx"), QStringLiteral("导出"));
    btnPrint = button(frameSearch, QStringLiteral("btnPrint"), QStringLiteral("打印"));
    auto* listButtons = new QHBoxLayout;
    listButtons->addStretch();
    for (QPushButton* b : {btndel, btnInput, btnEx, btnPrint})
        listButtons->addWidget(b);
    search->addLayout(listButtons, 3, 0, 1, 4);
    search->setRowStretch(2, 1);
}

QStringList CardholderPage::searchTexts() const
{
    QStringList texts;
    for (const QComboBox* field : CmbF)
        texts << field->currentText();
    return texts;
}

void CardholderPage::clearSearch()
{
    for (QComboBox* field : CmbF) {
        const QSignalBlocker block(field);
        field->setEditText(QString());
    }
}

// ---- Wiring --------------------------------------------------------------------------

void CardholderPage::connectHandlers()
{
    connect(this, &CardholderPage::searchChanged, this, &CardholderPage::filter);
    connect(GridU, &Grid::clicked, this, &CardholderPage::GridU_Click);
    connect(GridU, &Grid::dropDownChosen, this, &CardholderPage::GridU_DropDownChosen);
    connect(GridU, &Grid::doubleClicked, this, &CardholderPage::GridU_DblClick);
    connect(GridU, &Grid::leaveCell, this, &CardholderPage::GridU_LeaveCell);
    connect(btnInsert, &QPushButton::clicked, this, &CardholderPage::insertCardholder);
    connect(BtnUpdate, &QPushButton::clicked, this, &CardholderPage::updateCardholder);
    connect(btnCls, &QPushButton::clicked, this, &CardholderPage::clearFields);
    connect(btndel, &QPushButton::clicked, this, &CardholderPage::deleteCardholders);
    connect(btnEx, &QPushButton::clicked, this, &CardholderPage::exportCardholders);
    connect(btnPrint, &QPushButton::clicked, this, &CardholderPage::printCardholders);
    auto* import = new CardholderImportAction(
        m_host, this,
        [this] {
            filter();
            GridU->raise();
        },
        this);
    connect(btnInput, &QPushButton::clicked, import, &CardholderImportAction::run);
}

bool CardholderPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Image1 && event->type() == QEvent::MouseButtonDblClick) {
        choosePhoto();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool CardholderPage::isAdministrator() const
{
    return m_host.context().signedIn.isAdministrator;
}

QString CardholderPage::message(int number) const
{
    return m_host.context().message(number);
}

CardholderStore CardholderPage::store() const
{
    return CardholderStore(m_host.context().databases(), m_host.context().imageFolder());
}

void CardholderPage::filter()
{
    m_host.filterCardholders(0, false);
}

// ---- The list ----------------------------------------------------------------------------

void CardholderPage::LoadRowPermissions(int row)
{
    if (row < 1 || row >= GridU->rows())
        return;
    const auto found = store().permissions(
        {GridU->cellText(row, CardholderColumn::Name), GridU->cellText(row, CardholderColumn::Phone)});
    if (!found)
        return; // the lists keep what they held
    m_holderTerminals = splitPermissionList(TrimAtNul(found->terminals));
    m_holderValidity = splitPermissionList(TrimAtNul(found->validity));
}

void CardholderPage::GridU_Click()
{
    btnInsert->setEnabled(isAdministrator());
    if (GridU->rows() < 2)
        return;
    const int row = GridU->currentRow();
    const int col = GridU->currentCol();
    const int first = GridU->selectionFirstRow();
    const int last = GridU->selectionLastRow();
    LoadRowPermissions(row);
    // Every entry ends with "、": the empty piece after the last one is not offered.
    const qsizetype offered = qMax<qsizetype>(0, m_holderTerminals.size() - 1);
    if (col == CardholderColumn::Terminal) {
        GridU->clearDropDownList(CardholderColumn::Terminal);
        for (qsizetype i = 0; i < offered; ++i)
            GridU->addDropDownItem(CardholderColumn::Terminal, m_holderTerminals.at(i));
    } else if (col == CardholderColumn::Validity) {
        GridU->clearDropDownList(CardholderColumn::Validity);
        for (qsizetype i = 0; i < offered; ++i)
            GridU->addDropDownItem(CardholderColumn::Validity, m_holderValidity.value(i));
    } else if (first == last && row >= 1) {
        GridU->selectRow(row);
    }
    GridU->refresh();
}

void CardholderPage::GridU_DropDownChosen(int col)
{
    if (GridU->rows() < 2)
        return;
    const int row = GridU->currentRow();
    LoadRowPermissions(row);
    const QString chosen = GridU->cellText(row, col);
    const qsizetype offered = qMax<qsizetype>(0, m_holderTerminals.size() - 1);
    // The two cells of a row always show a terminal and its own validity.
    if (col == CardholderColumn::Terminal) {
        const qsizetype at = m_holderTerminals.mid(0, offered).indexOf(chosen);
        if (at >= 0)
            GridU->setCellText(row, CardholderColumn::Validity, m_holderValidity.value(at));
    } else if (col == CardholderColumn::Validity) {
        const qsizetype at = m_holderValidity.mid(0, offered).indexOf(chosen);
        if (at >= 0)
            GridU->setCellText(row, CardholderColumn::Terminal, m_holderTerminals.value(at));
    }
    GridU->refresh();
}

void CardholderPage::showEdited(const QStringList& columns)
{
    const QString phone = trimSpaces(columns.value(5));
    TxtName->setText(trimSpaces(columns.value(0)));
    const QString gender = trimSpaces(columns.value(1));
    Combo1->setCurrentIndex(gender == QStringLiteral("男") || gender == QLatin1String("man") ? 0 : 1);
    TxtDp->setText(trimSpaces(columns.value(2)));
    TxtJob->setText(trimSpaces(columns.value(3)));
    txtAd->setText(trimSpaces(columns.value(4)));
    txtTel->setText(phone);
}

void CardholderPage::GridU_DblClick()
{
    const int row = GridU->selectionFirstRow();
    if (row < 1 || row >= GridU->rows())
        return;
    const QString name = trimSpaces(GridU->cellText(row, CardholderColumn::Name));
    const QString phone = trimSpaces(GridU->cellText(row, CardholderColumn::Phone));
    m_editKey = {name, phone};
    QStringList shown;
    for (int c = CardholderColumn::Name; c <= CardholderColumn::Phone; ++c)
        shown << (c == CardholderColumn::Name ? name : GridU->cellText(row, c));
    // The edit starts from the row as stored now: another desk may have changed it since the
    // list was read.
    m_reading = store().read(m_editKey);
    if (m_reading && m_reading->columns != shown && m_cardholders.updateRow(name, phone, m_reading->columns))
        GridU->refresh();
    showEdited(m_reading ? m_reading->columns : shown);
    setPhoto({});
    if (!name.isEmpty() || !phone.isEmpty()) {
        const QString file = store().photoPath(TxtName->text(), txtTel->text());
        if (QFile::exists(file))
            setPhoto(QImage(file));
    }
    BtnUpdate->setEnabled(isAdministrator());
    btnInsert->setEnabled(false);
}

void CardholderPage::GridU_LeaveCell()
{
    BtnUpdate->setEnabled(false);
    TxtName->setEnabled(true);
}

// ---- Edit fields -----------------------------------------------------------------------

QImage CardholderPage::photo() const
{
    const QPixmap picture = Image1->pixmap();
    return picture.isNull() ? QImage() : picture.toImage();
}

void CardholderPage::setPhoto(const QImage& picture)
{
    if (picture.isNull()) {
        // Without a picture the label shows its caption; it stays as the language set it.
        if (!Image1->pixmap().isNull())
            Image1->setText(m_imageHint);
        return;
    }
    // The hint in the current language comes back when the picture goes.
    if (!Image1->text().isEmpty())
        m_imageHint = Image1->text();
    Image1->setScaledContents(true);
    Image1->setPixmap(QPixmap::fromImage(picture));
}

QString CardholderPage::photoFilter(const QString& picturesCaption)
{
    // Bracketed letters: photo files named .jpg, .Jpg or .JPG are all offered.
    const auto anyCase = [](const QString& suffix) {
        QString pattern = QStringLiteral("*.");
        for (const QChar c : suffix)
            pattern += c.isLetter() ? QStringLiteral("[%1%2]").arg(c.toUpper(), c.toLower()) : QString(c);
        return pattern;
    };
    QStringList all;
    for (const QByteArray& format : QImageReader::supportedImageFormats())
        all << anyCase(QString::fromLatin1(format).toLower());
    all.removeDuplicates();
    return picturesCaption + QStringLiteral(" (") + all.join(u' ') + QStringLiteral(");;JPGE (")
           + anyCase(QStringLiteral("jpg")) + QStringLiteral(");;位图(") + anyCase(QStringLiteral("bmp"))
           + QStringLiteral(");;GIF(") + anyCase(QStringLiteral("gif")) + QStringLiteral(");;PNG (")
           + anyCase(QStringLiteral("png")) + u')';
}

void CardholderPage::choosePhoto()
{
    const QString file = m_host.context().dialogs().openFile(
        this, message(Msg::PhotoTitle), photoFilter(message(Msg::Pictures)), Dialogs::FileKind::Photo);
    if (file.isEmpty())
        return;
    // Nothing is written until an add or a change saves it.
    QImage picture(file);
    if (picture.isNull())
        return;
    if (picture.hasAlphaChannel()) {
        // The photo is kept as a JPEG, which has no transparency: a transparent PNG
        // would turn black there, so it is laid on white first.
        QImage flat(picture.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter(&flat).drawImage(0, 0, picture);
        picture = flat;
    }
    setPhoto(picture);
}

void CardholderPage::clearFields()
{
    for (QLineEdit* field : {TxtName, TxtDp, TxtJob, txtAd, txtTel})
        field->clear();
    setPhoto({});
}

void CardholderPage::insertCardholder()
{
    // Drawn on every click, so the counter advances even when a name is typed.
    const QString automaticName = m_autoName.NextAutoName();
    const CardholderFields typed{TxtName->text(), Combo1->currentText(), TxtDp->text(),
                                 TxtJob->text(),  txtAd->text(),         txtTel->text()};
    const CardholderFields values = typed.forInsert(automaticName);
    qint64 id = 0;
    const int outcome = store().insert(values, photo(), &id);
    if (outcome == CardholderStore::Duplicate) {
        m_host.context().dialogs().message(this, message(Msg::DuplicateCardholder), Dialogs::Icon::Warning);
        return;
    }
    if (outcome != CardholderStore::Done) {
        // Nothing stored (the file read-only, gone, or the disk full): said so, and the
        // fields stay for another try.
        m_host.context().dialogs().message(this, message(Msg::NotSaved), Dialogs::Icon::Error);
        return;
    }
    m_cardholders.prependRow(QStringList{QString::number(id)} + values.columns()
                             + QStringList{QString(), QString(), QString()});
    clearFields();
    filter();
    // Ready for the next entry.
    TxtName->setFocus();
}

void CardholderPage::updateCardholder()
{
    Dialogs& dialogs = m_host.context().dialogs();
    const CardholderFields typed{TxtName->text(), Combo1->currentText(), TxtDp->text(),
                                 TxtJob->text(),  txtAd->text(),         txtTel->text()};
    CardholderFields::Field empty = CardholderFields::Name;
    if (const int missing = typed.firstEmptyField(&empty)) {
        dialogs.message(this, message(missing), Dialogs::Icon::Warning);
        QLineEdit* focus = empty == CardholderFields::Department ? TxtDp
                           : empty == CardholderFields::Position ? TxtJob
                           : empty == CardholderFields::Address  ? txtAd
                           : empty == CardholderFields::Phone    ? txtTel
                                                                 : nullptr;
        if (focus)
            focus->setFocus();
        return;
    }
    const int current = GridU->currentRow();
    if (m_editKey.first.isEmpty())
        m_editKey.first = trimSpaces(GridU->cellText(current, CardholderColumn::Name));
    if (m_editKey.second.isEmpty())
        m_editKey.second = trimSpaces(GridU->cellText(current, CardholderColumn::Phone));
    if (!dialogs.question(this, message(Msg::SaveCardholderStart) + m_editKey.first + message(Msg::SaveCardholderEnd)))
        return;

    const CardholderFields values = typed.forUpdate();
    const int outcome = store().update(m_editKey, values, photo(), m_reading ? &*m_reading : nullptr);
    if (outcome == CardholderStore::ChangedElsewhere) {
        dialogs.message(this, message(Msg::RowChangedElsewhere), Dialogs::Icon::Warning);
        // The row as it is now, in the list and the fields; a save from here changes that.
        m_reading = store().read(m_reading->id);
        if (m_reading) {
            m_cardholders.updateRow(m_editKey.first, m_editKey.second, m_reading->columns);
            m_editKey = {trimSpaces(m_reading->columns.value(0)), trimSpaces(m_reading->columns.value(5))};
            showEdited(m_reading->columns);
            GridU->refresh();
        }
        return;
    }
    if (outcome == CardholderStore::Duplicate) {
        dialogs.message(this, message(Msg::DuplicateCardholder), Dialogs::Icon::Warning);
        return;
    }
    if (outcome == CardholderStore::NoLongerThere) {
        dialogs.message(this, message(Msg::CardholderGone), Dialogs::Icon::Error);
        return;
    }
    if (outcome != CardholderStore::Done) {
        dialogs.message(this, message(Msg::NotSaved), Dialogs::Icon::Error);
        return;
    }
    // The edited cardholder is found by its former key, wherever the search put it.
    m_cardholders.updateRow(m_editKey.first, m_editKey.second, values.columns());
    filter();
    clearFields();
    endEdit();
}

void CardholderPage::endEdit()
{
    BtnUpdate->setEnabled(false);
    TxtName->setEnabled(true);
    btnInsert->setEnabled(isAdministrator());
    m_editKey = {};
    m_reading.reset();
}

// ---- Deletion, export, print ----------------------------------------------------------

void CardholderPage::deleteCardholders()
{
    const RunGuard::Scope run = m_host.runs().start(RunGuard::Run::CardholderDeletion);
    if (!run || m_deleting)
        return;
    Dialogs& dialogs = m_host.context().dialogs();
    int first = GridU->selectionFirstRow();
    int last = GridU->selectionLastRow();
    if (last < first)
        std::swap(first, last);
    if (GridU->rows() <= 1) {
        dialogs.message(this, message(Msg::NothingToDelete), Dialogs::Icon::Warning);
        return;
    }
    if (first == 0 || last == 0) {
        dialogs.message(this, message(Msg::SelectRowsToDelete), Dialogs::Icon::Warning);
        return;
    }
    const int count = qMin(last, GridU->rows() - 1) - first + 1;
    if (!dialogs.question(this,
                          deletionQuestion(m_host.context().language, Msg::DeleteSelectedRows, count,
                                           GridU->cellText(first, CardholderColumn::Name)),
                          {}, Dialogs::DefaultAnswer::No))
        return;

    // The keys are taken now: events run between the rows, and a search typed meanwhile
    // must not change which cardholders go.
    QList<CardholderStore::Key> keys;
    for (int r = first; r <= last && r < GridU->rows(); ++r)
        keys.append({GridU->cellText(r, CardholderColumn::Name), GridU->cellText(r, CardholderColumn::Phone)});
    const int total = last - first + 1;
    m_deleting = true;
    const bool deleteEnabled = btndel->isEnabled();
    btndel->setEnabled(false);
    const std::unique_ptr<ImportProgress> progress = m_host.progress(this, message(Msg::Deleting));
    progress->begin(total);
    bool writeFailed = false;
    const int deleted = store().remove(
        keys, [&progress, total](int done) { progress->advance(done, total); }, &writeFailed);
    progress->end(writeFailed ? deleted : int(keys.size()), total);
    btndel->setEnabled(deleteEnabled);
    m_deleting = false;

    clearFields();
    m_host.loadCardholders();
    filter();
    if (GridU->rows() > 1)
        GridU->selectRow(1);
    dialogs.message(this, deletionSummary(m_host.context().language, deleted, writeFailed),
                    writeFailed ? Dialogs::Icon::Warning : Dialogs::Icon::None);
}

void CardholderPage::exportCardholders()
{
    const CardholderTable& table = m_cardholders;
    const int count = table.viewCount(CardholderTable::CardholderPageView);
    // Each export starts from an empty buffer.
    GridTemp->setRows(1);
    GridTemp->clearCells();
    GridTemp->setCols(GridU->cols());
    GridTemp->setRows(count + 1);
    for (int c = CardholderColumn::Name; c <= CardholderTable::LastColumn && c < GridU->cols(); ++c)
        GridTemp->setHeaderText(c, GridU->headerText(c));
    QList<CardholderStore::Key> keys;
    keys.reserve(count);
    for (int r = 1; r <= count; ++r)
        keys.append({table.viewText(CardholderTable::CardholderPageView, r, CardholderColumn::Name),
                     table.viewText(CardholderTable::CardholderPageView, r, CardholderColumn::Phone)});
    // The terminal and validity columns carry the complete stored lists.
    const auto permissions = store().permissions(keys);
    for (int r = 1; r <= count; ++r) {
        for (int c = CardholderColumn::Name; c <= CardholderColumn::Card; ++c)
            GridTemp->setCellText(r, c, table.viewText(CardholderTable::CardholderPageView, r, c));
        if (const auto& found = permissions.value(r - 1)) {
            GridTemp->setCellText(r, CardholderColumn::Terminal, found->terminals);
            GridTemp->setCellText(r, CardholderColumn::Validity, found->validity);
        }
    }
    Dialogs& dialogs = m_host.context().dialogs();
    const GridExportResult result = GridTemp->exportToFile(dialogs, {}, true, false,
                                                           message(Msg::ExportCardholdersTitle));
    if (result.status == GridExportResult::Status::Ok)
        dialogs.message(this, message(Msg::ExportFinished), Dialogs::Icon::Information);
    else if (result.status == GridExportResult::Status::Failed)
        dialogs.message(this, message(Msg::ExportFailed) + QLatin1Char('\n') + result.reason, Dialogs::Icon::Error);
}

void CardholderPage::preparePrint()
{
    SetPrin(0, *GridU, QStringLiteral("用户信息列表"));
}

void CardholderPage::printCardholders()
{
    preparePrint();
    GridU->print(window());
}

} // namespace k27
