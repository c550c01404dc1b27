#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QIODevice>
#include <QList>
#include <QString>

class ExtractionBudget;

// Passes an .enex file on to an XML reader, except the text of each <data>
// element: that is decoded from base64 as it streams past, into a file of its
// own with its MD5, and the reader sees "#n" (n counting from 1) in its place.
// The XML reader holds a text node whole, so without this one large
// attachment would need several times its size in memory. Not part of the io
// interface; the source must outlive the stream.
class EnexDataStream final : public QIODevice
{
public:
    struct Data
    {
        QString path;    // empty when it was refused
        QString md5;     // hex
        qint64 size = 0; // decoded bytes
        QString refusal; // why it was not kept
    };

    EnexDataStream(QIODevice *source, const QString &tempPath, ExtractionBudget *budget);
    ~EnexDataStream() override;

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;

    // The data of "#n"; its file is the caller's from then on.
    Data take(const QString &marker);

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    enum class State { Text, CData, DataTag, Diverting, Entity };

    void process();
    void begin();
    void decode(bool last);
    void finish();

    QIODevice *m_source;
    QString m_tempPath;
    ExtractionBudget *m_budget;
    QByteArray m_in;  // read, not yet processed (a tag start waiting for its next bytes)
    QByteArray m_out; // processed, not yet read
    State m_state = State::Text;
    char m_lastInTag = 0;
    bool m_inResource = false;
    QFile m_file;
    QByteArray m_pending; // base64 not yet decoded
    QCryptographicHash m_md5{QCryptographicHash::Md5};
    Data m_current;
    QList<Data> m_data;
};
