#include "CardholderTable.h"

#include "cardholders/LikePattern.h"
#include "db/Database.h"
#include "startup/TextUtil.h"

#include <algorithm>
#include <numeric>

namespace k27 {

namespace {
const QString ListSeparator = QStringLiteral("、");
}

QStringList splitPermissionList(const QString& list)
{
    return list.split(ListSeparator);
}

std::pair<QString, QString> CardholderTable::firstPermission(const QString& terminals, bool terminalsNull,
                                                             const QString& validity)
{
    if (terminalsNull)
        return {};
    if (terminals.isEmpty())
        return {QStringLiteral("      "), QString()};
    // The first entry only: no list is built for each of the holders loaded.
    const auto first = [](const QString& list) { return list.left(list.indexOf(ListSeparator)); };
    return {first(terminals), first(validity)};
}

void ColumnTexts::append(QStringView text)
{
    m_text.insert(m_text.end(), text.utf16(), text.utf16() + text.size());
    m_start.push_back(uint32_t(m_text.size()));
}

void ColumnTexts::insert(int row, QStringView text)
{
    const uint32_t at = m_start[size_t(row)];
    m_text.insert(m_text.begin() + at, text.utf16(), text.utf16() + text.size());
    m_start.insert(m_start.begin() + row, at);
    for (size_t i = size_t(row) + 1; i < m_start.size(); ++i)
        m_start[i] += uint32_t(text.size());
}

void ColumnTexts::replace(int row, QStringView text)
{
    const uint32_t from = m_start[size_t(row)];
    const uint32_t to = m_start[size_t(row) + 1];
    m_text.erase(m_text.begin() + from, m_text.begin() + to);
    m_text.insert(m_text.begin() + from, text.utf16(), text.utf16() + text.size());
    const int64_t delta = int64_t(text.size()) - int64_t(to - from);
    for (size_t i = size_t(row) + 1; i < m_start.size(); ++i)
        m_start[i] = uint32_t(int64_t(m_start[i]) + delta);
}

void ColumnTexts::rowsContaining(QStringView literal, std::vector<uint32_t>& rows) const
{
    const std::u16string_view text = all();
    const std::u16string_view needle(reinterpret_cast<const char16_t*>(literal.utf16()), size_t(literal.size()));
    size_t row = 0;
    for (size_t at = text.find(needle); at != std::u16string_view::npos; at = text.find(needle, at)) {
        while (m_start[row + 1] <= at)
            ++row;
        // A hit that runs into the next row is no hit; any later one in this row would too.
        if (at + needle.size() <= m_start[row + 1])
            rows.push_back(uint32_t(row));
        at = m_start[row + 1];
    }
}

void ColumnTexts::clear()
{
    m_text.clear();
    m_start.assign(1, 0);
}

void ColumnTexts::squeeze()
{
    m_text.shrink_to_fit();
    m_start.shrink_to_fit();
}

bool CardholderTable::load(Database& db, const std::function<void()>& pump)
{
    clear();
    static const QString columns = QStringLiteral(
        "select ID, 姓名, 性别, 部门, 职位, 住址, 电话, 卡号, 权限终端机, 时间期限 from 用户信息 ");
    const auto addRow = [&](const Row& row) {
        for (int c = CardholderColumn::Id; c <= CardholderColumn::Card; ++c)
            m_columns[size_t(c)].append(row.text(c));
        const auto [terminal, validity] = firstPermission(row.text(CardholderColumn::Terminal),
                                                          row.isNull(CardholderColumn::Terminal),
                                                          row.text(CardholderColumn::Validity));
        m_columns[CardholderColumn::Terminal].append(terminal);
        m_columns[CardholderColumn::Validity].append(validity);
        if (pump)
            pump();
        return true;
    };
    // One pass over the table, sorted once: two queries (without a card, then with one) made
    // the second walk the name index and fetch every row out of order, each page decrypted
    // again, three times the cost at 100,000 holders. Equal names keep the index's order.
    const bool ok = db.query(columns + QStringLiteral("order by coalesce(卡号, '') <> '', 姓名, 电话, ID"), {}, addRow);
    squeeze();
    changed();
    return ok;
}

void CardholderTable::filter(View view, const QStringList& searchTexts, bool cardOnly)
{
    ViewState& state = m_views[view];
    state.edits.clear();
    std::array<QString, 4> texts;
    for (size_t i = 0; i < 4; ++i)
        texts[i] = trimRight(searchTexts.value(int(i)).left(SearchTextLength));

    // A longer text matches a subset of the rows of the text it extends ("*ab*" within
    // "*a*"), unless the shorter one held a "[" that the longer one may close into a set.
    // Only a small previous result is worth narrowing: one pass over a column finds the rows of
    // a text faster than a test of each row of a long list.
    bool narrows = state.generation == m_generation && state.cardOnly == cardOnly
                   && state.rows.size() * 8 < size_t(rowCount());
    for (size_t i = 0; i < 4 && narrows; ++i)
        narrows = texts[i].startsWith(state.texts[i]) && !state.texts[i].contains(u'[');

    static const int searched[4] = {CardholderColumn::Name, CardholderColumn::Card, CardholderColumn::Department,
                                    CardholderColumn::Address};
    std::vector<const ColumnTexts*> columns;
    std::vector<LikePattern> patterns;
    for (size_t i = 0; i < 4; ++i) {
        // Each pattern is compiled once for the whole search, not once per row.
        LikePattern pattern(QLatin1Char('*') + texts[i] + QLatin1Char('*'));
        if (pattern.matchesEverything())
            continue;
        patterns.push_back(std::move(pattern));
        columns.push_back(&m_columns[size_t(searched[i])]);
    }
    const ColumnTexts& card = m_columns[CardholderColumn::Card];

    std::vector<uint32_t> rows;
    if (patterns.empty() && !cardOnly) {
        rows.resize(size_t(rowCount()));
        std::iota(rows.begin(), rows.end(), 0u);
    } else {
        const auto passesFrom = [&](uint32_t r, size_t first) {
            if (cardOnly && card.at(int(r)).isEmpty())
                return false;
            for (size_t i = first; i < patterns.size(); ++i)
                if (!patterns[i].matches(columns[i]->at(int(r))))
                    return false;
            return true;
        };
        const auto passes = [&](uint32_t r) { return passesFrom(r, 0); };
        if (narrows) {
            rows = std::move(state.rows);
            rows.erase(std::remove_if(rows.begin(), rows.end(), [&](uint32_t r) { return !passes(r); }), rows.end());
        } else if (!patterns.empty() && !patterns[0].substring().isNull()) {
            // The usual search: the rows holding the first text, found in one pass over its
            // column, then the other tests on those rows only.
            columns[0]->rowsContaining(patterns[0].substring(), rows);
            rows.erase(std::remove_if(rows.begin(), rows.end(), [&](uint32_t r) { return !passesFrom(r, 1); }),
                       rows.end());
        } else {
            const uint32_t n = uint32_t(rowCount());
            for (uint32_t r = 0; r < n; ++r)
                if (passes(r))
                    rows.push_back(r);
        }
    }
    state.rows = std::move(rows);
    state.texts = texts;
    state.cardOnly = cardOnly;
    state.generation = m_generation;
}

QString CardholderTable::rowText(int row, int col) const
{
    if (row < 1 || row > rowCount() || col < 0 || col > LastColumn)
        return {};
    return m_columns[size_t(col)].at(row - 1).toString();
}

qint64 CardholderTable::viewId(View view, int row) const
{
    const ViewState& state = m_views[view];
    if (row < 1 || size_t(row) > state.rows.size() || int(state.rows[size_t(row) - 1]) >= rowCount())
        return 0;
    return rowText(int(state.rows[size_t(row) - 1]) + 1, CardholderColumn::Id).toLongLong();
}

QString CardholderTable::viewText(View view, int row, int col) const
{
    const ViewState& state = m_views[view];
    if (row < 1 || size_t(row) > state.rows.size() || col < CardholderColumn::Name || col > LastColumn)
        return {};
    const auto edit = state.edits.constFind(quint32(row) << 4 | quint32(col));
    if (edit != state.edits.cend())
        return *edit;
    const uint32_t r = state.rows[size_t(row) - 1];
    if (int(r) >= rowCount())
        return {};
    return m_columns[size_t(col)].at(int(r)).toString();
}

void CardholderTable::setViewText(View view, int row, int col, const QString& text)
{
    ViewState& state = m_views[view];
    if (row < 1 || size_t(row) > state.rows.size() || col < CardholderColumn::Name || col > LastColumn)
        return;
    state.edits.insert(quint32(row) << 4 | quint32(col), text);
}

void CardholderTable::changed()
{
    ++m_generation;
}

void CardholderTable::clear()
{
    for (auto& column : m_columns)
        column.clear();
    for (auto& view : m_views)
        view = ViewState{};
    changed();
}

void CardholderTable::addRow(const QStringList& columns, bool atTop)
{
    for (int c = 0; c < RowColumns; ++c) {
        const QString text = columns.value(c);
        if (atTop)
            m_columns[size_t(c)].insert(0, text);
        else
            m_columns[size_t(c)].append(text);
    }
    // The views keep showing the rows they showed until the next search.
    if (atTop)
        for (auto& view : m_views)
            for (uint32_t& r : view.rows)
                ++r;
    changed();
}

void CardholderTable::appendRow(const QStringList& columns)
{
    addRow(columns, false);
}

void CardholderTable::prependRow(const QStringList& columns)
{
    addRow(columns, true);
}

bool CardholderTable::updateRow(const QString& name, const QString& phone, const QStringList& columns1to6)
{
    const QString wantedName = trimSpaces(name);
    const QString wantedPhone = trimSpaces(phone);
    for (int r = 0; r < rowCount(); ++r) {
        if (trimSpaces(m_columns[CardholderColumn::Name].at(r).toString()) != wantedName
            || trimSpaces(m_columns[CardholderColumn::Phone].at(r).toString()) != wantedPhone)
            continue;
        for (int c = CardholderColumn::Name; c <= CardholderColumn::Phone; ++c)
            m_columns[size_t(c)].replace(r, columns1to6.value(c - 1));
        changed();
        return true;
    }
    return false;
}

void CardholderTable::squeeze()
{
    for (auto& column : m_columns)
        column.squeeze();
}

size_t CardholderTable::memoryBytes() const
{
    size_t bytes = sizeof(*this);
    for (const auto& column : m_columns)
        bytes += column.bytes();
    for (const auto& view : m_views)
        bytes += view.rows.capacity() * sizeof(uint32_t);
    return bytes;
}

} // namespace k27
