#pragma once

#include "cardholders/CardholderFields.h"
#include "startup/Messages.h"

#include <QImage>
#include <QList>
#include <QStringList>
#include <QString>
#include <functional>
#include <optional>
#include <utility>

namespace k27 {

class DatabaseSession;

// The statements behind the cardholder page: add, change, delete, and the complete
// terminal and validity lists of a cardholder. A cardholder is found by its trimmed name
// and phone on both sides of the comparison, so the blank an add stores after the name
// never hides a row. Every text goes in as a bound value: apostrophes are ordinary
// characters. Single changes and lookups go through the window's connection, deletions of
// many rows through the runs' one. Photos are written and removed here too, next to the
// rows they belong to.
class CardholderStore
{
public:
    enum Message {
        Done = 0,
        Duplicate = Msg::DuplicateCardholder,        // same name and phone as an existing cardholder
        NoLongerThere = Msg::CardholderGone,         // the cardholder to change is gone
        ChangedElsewhere = Msg::RowChangedElsewhere, // changed by another desk since it was read
        NotStored = -1,                              // the database refused the statement; nothing is reported
    };

    // (name, phone) of one cardholder, as shown in the list.
    using Key = std::pair<QString, QString>;

    struct Permissions
    {
        QString terminals; // 权限终端机, complete ("5、17、")
        QString validity;  // 时间期限, complete
        bool operator==(const Permissions&) const = default;
    };

    // One cardholder as stored at the time of reading: the row (stable whatever is renamed), its
    // version (-1 where the register keeps none) and its six fields (CardholderFields order).
    struct Reading
    {
        qint64 id = 0;
        qint64 version = -1;
        QStringList columns;
    };

    CardholderStore(DatabaseSession& databases, QString imageFolder);

    // The first cardholder with this key, or the row `id`, as stored now.
    std::optional<Reading> read(const Key& key) const;
    std::optional<Reading> read(qint64 id) const;

    // Adds a cardholder with the values of CardholderFields::forInsert: the name is stored
    // with one blank after it; card number, terminals and validity empty. A photo that is
    // not null is saved as JPEG to PhotoPath after the row was stored. *id: the new row.
    int insert(const CardholderFields& values, const QImage& photo = {}, qint64* id = nullptr) const;

    // Writes the values of CardholderFields::forUpdate over the first cardholder with the
    // key `editKey`. The duplicate check runs only when the trimmed name or phone changes.
    // A photo that is not null is saved for the new name and phone; the old photo file
    // stays. With `reading`, the row read is the one changed, and only while nobody changed it
    // since (ChangedElsewhere otherwise: nothing is written).
    int update(const Key& editKey, const CardholderFields& values, const QImage& photo = {},
               const Reading* reading = nullptr) const;

    // The complete lists of the first cardholder with this key; nothing when not found.
    std::optional<Permissions> permissions(const Key& key) const;
    // The same for many cardholders over one connection, in the order of `keys`.
    QList<std::optional<Permissions>> permissions(const QList<Key>& keys) const;

    // Deletes the cardholders with these keys, in order, and the photo file of each whose
    // rows were deleted. `progress(done)` runs after each key (the page lets events run
    // there). Returns how many keys were deleted. When the database cannot be written the
    // deletion stops there and *writeFailed is set.
    int remove(const QList<Key>& keys, const std::function<void(int)>& progress = {},
               bool* writeFailed = nullptr) const;

    QString photoPath(const QString& name, const QString& phone) const;
    // Saves `photo` as JPEG whatever it was read from (the folder is made when missing).
    bool savePhoto(const QImage& photo, const QString& name, const QString& phone) const;

private:
    DatabaseSession* m_databases;
    QString m_imageFolder;
};

} // namespace k27
