#include "builtinnotes.h"

#include "delta.h"
#include "deltaimport.h"

#include "note.h"
#include "noterepository.h"
#include "preferencesrepository.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QUuid>

namespace {

const QString kSeenWelcomeKey = QStringLiteral("has_seen_welcome");

// Builds a body line by line. The welcome notes are written by hand, so
// their plain lines may share one insert with their newline.
class BodyBuilder final
{
public:
    BodyBuilder &text(const QString &text, const QJsonObject &attributes = {})
    {
        QJsonObject op{{QStringLiteral("insert"), text}};
        if (!attributes.isEmpty())
            op.insert(QStringLiteral("attributes"), attributes);
        m_ops.append(op);
        return *this;
    }
    BodyBuilder &bold(const QString &text) { return this->text(text, {{QStringLiteral("bold"), true}}); }
    BodyBuilder &italic(const QString &text) { return this->text(text, {{QStringLiteral("italic"), true}}); }
    BodyBuilder &lineEnd(const QJsonObject &attributes = {}) { return text(QStringLiteral("\n"), attributes); }
    BodyBuilder &paragraph(const QString &line) { return text(line + QLatin1Char('\n')); }
    BodyBuilder &emptyLine() { return text(QStringLiteral("\n")); }
    BodyBuilder &heading(const QString &line, int level)
    {
        return text(line).lineEnd({{QStringLiteral("header"), level}});
    }
    BodyBuilder &boldLine(const QString &line) { return bold(line).lineEnd(); }
    BodyBuilder &checkItem(const QString &line, bool checked)
    {
        return text(line).lineEnd(
            {{QStringLiteral("list"), checked ? QStringLiteral("checked") : QStringLiteral("unchecked")}});
    }
    BodyBuilder &divider()
    {
        m_ops.append(QJsonObject{{QStringLiteral("insert"), QJsonObject{{QLatin1String(kDividerEmbedKind), true}}}});
        return lineEnd();
    }
    QString json() const { return deltaToJson(m_ops); }

private:
    QJsonArray m_ops;
};

QString tripPackingList()
{
    BodyBuilder b;
    b.heading(QStringLiteral("Trip Packing List"), 1).emptyLine();
    b.boldLine(QStringLiteral("Essentials"))
        .checkItem(QStringLiteral("Passport and ID"), true)
        .checkItem(QStringLiteral("Phone charger"), true)
        .checkItem(QStringLiteral("Wallet and cards"), true)
        .checkItem(QStringLiteral("Travel insurance docs"), false)
        .emptyLine();
    b.boldLine(QStringLiteral("Clothing"))
        .checkItem(QStringLiteral("T-shirts (4)"), true)
        .checkItem(QStringLiteral("Pants (2)"), false)
        .checkItem(QStringLiteral("Jacket"), false)
        .checkItem(QStringLiteral("Comfortable walking shoes"), false)
        .emptyLine();
    b.boldLine(QStringLiteral("Toiletries"))
        .checkItem(QStringLiteral("Toothbrush"), false)
        .checkItem(QStringLiteral("Sunscreen"), false)
        .checkItem(QStringLiteral("Medications"), false)
        .emptyLine();
    b.paragraph(QStringLiteral("All tasks appear in the To-Dos view in the menu!"));
    return b.json();
}

QString gettingStarted()
{
    BodyBuilder b;
    b.heading(QStringLiteral("Getting Started"), 1).emptyLine();
    const auto section = [&b](const QString &label, const QString &sentence) {
        b.boldLine(label).paragraph(sentence).emptyLine();
    };
    section(QStringLiteral("Just Type"),
            QStringLiteral("Every note saves itself as you write. The first line becomes its title."));
    section(QStringLiteral("Instant Search"),
            QStringLiteral("Search looks through the text of all your notes while you type."));
    b.boldLine(QStringLiteral("Rich Text"))
        .text(QStringLiteral("Use the toolbar or the usual shortcuts for "))
        .bold(QStringLiteral("bold"))
        .text(QStringLiteral(", "))
        .italic(QStringLiteral("italic"))
        .text(QStringLiteral(", headings, lists, check lists, quotes, code and tables.\n"))
        .emptyLine();
    section(QStringLiteral("Notebooks"),
            QStringLiteral("Group related notes in notebooks, and drag a note onto a notebook to move it."));
    section(QStringLiteral("Attachments"),
            QStringLiteral("Drop images and files into a note. Pictures are shown right in the text."));
    section(QStringLiteral("Offline First"),
            QStringLiteral("Your notes live on this computer and work without a connection."));
    section(QStringLiteral("Sync Across Devices"),
            QStringLiteral("Sign in to keep your notes in step on all your devices."));
    section(QStringLiteral("Export"),
            QStringLiteral("Save any note as Markdown, HTML, PDF or plain text, or back up everything at once."));
    b.divider();
    b.paragraph(QStringLiteral("That is all you need to know. Happy writing!"));
    return b.json();
}

QString welcome()
{
    BodyBuilder b;
    b.heading(QStringLiteral("Welcome to Velmora Notes"), 1).emptyLine();
    b.paragraph(QStringLiteral("A calm place for your thoughts, plans and lists. Everything you write is kept "
                               "on this computer first, so it is always at hand."));
    b.paragraph(QStringLiteral("Notes are sorted with the most recently changed on top. Have a look at the other "
                               "two notes for a packing list and a short tour."));
    b.bold(QStringLiteral("Try it now"))
        .text(QStringLiteral(": click anywhere in this note and start typing, or create a new note with Ctrl+N.\n"));
    b.paragraph(QStringLiteral("When you no longer need these notes, simply move them to the trash."));
    return b.json();
}

Note builtInNote(const QString &body, const QDateTime &time, SyncStatus status)
{
    Note note;
    note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    note.body = body;
    note.createdAt = time;
    note.updatedAt = time;
    note.modifiedAt = time;
    note.version = 1;
    note.isSample = true;
    note.syncStatus = status;
    return note;
}

struct SampleText
{
    int daysAgo;
    const char *markdown;
};

// Written for the line-based reader: one line per body line, "**"/"*" marks only.
const SampleText kSamples[] = {
    {0, "## Things to Remember\n"
        "- [ ] Renew the car registration before the 15th\n"
        "- [ ] Call Grandma on Sunday\n"
        "- [x] Return the library books\n"
        "- [ ] Book a dentist appointment\n"
        "\n"
        "**Wi-Fi at the cabin:** ask Sam for the new password\n"
        "TODO: back up the photo library\n"},
    {1, "## Weekly Team Sync - Project Atlas\n"
        "### Attendees\n"
        "Priya, Marco, Lena, Tom\n"
        "### Updates\n"
        "- Search service is *feature complete*; load testing starts Monday\n"
        "- Design review for the onboarding flow moved to Thursday\n"
        "- **Blocker:** staging certificates expire next week\n"
        "### Action Items\n"
        "- [ ] Marco renews the staging certificates\n"
        "- [ ] Lena shares the load test plan\n"
        "- [x] Tom sends the release notes draft\n"},
    {2, "## Weekly Journal - Friday Check-In\n"
        "### What went well\n"
        "Finished the quarterly report a day early and went for a long walk after.\n"
        "### What was hard\n"
        "Too many meetings on Wednesday; *protect the mornings* next week.\n"
        "### Grateful for\n"
        "1. A quiet breakfast\n"
        "2. The new running shoes\n"
        "3. Dinner with old friends\n"
        "> Small steps every day.\n"},
    {8, "## Clipped Article - New Noise-Canceling Headphones Reviewed\n"
        "> The best travel headphones of the year, with a few caveats.\n"
        "### Key points\n"
        "- Noise canceling is **excellent** on planes and trains\n"
        "- Battery lasts around 30 hours\n"
        "- The touch controls are *too sensitive* in cold weather\n"
        "- Case is bulkier than last year's model\n"
        "### Verdict\n"
        "Worth it for frequent travellers; wait for a sale otherwise.\n"},
    {14, "## Gadget Notes - Portable E-Ink Tablet\n"
         "### Likes\n"
         "- Paper-like screen, easy on the eyes at night\n"
         "- Handwriting feels **natural** with the stylus\n"
         "- Battery lasts for weeks\n"
         "### Dislikes\n"
         "- Slow page refresh when zooming PDFs\n"
         "- No backlight on the base model\n"
         "### Decision\n"
         "- [ ] Try one in the store before ordering\n"
         "- [ ] Compare prices after the holidays\n"},
    {21, "## Dinner Recipe - Sheet Pan Lemon Chicken\n"
         "*Serves 4, about 45 minutes.*\n"
         "### Ingredients\n"
         "- 8 chicken thighs\n"
         "- 2 lemons, sliced\n"
         "- 500 g baby potatoes, halved\n"
         "- 3 cloves garlic, a handful of fresh thyme\n"
         "- Olive oil, salt and pepper\n"
         "### Steps\n"
         "1. Heat the oven to 220 °C.\n"
         "2. Toss everything with oil, salt and pepper on a sheet pan.\n"
         "3. Roast for 35 to 40 minutes until the skin is **golden**.\n"
         "4. Squeeze the roasted lemon over the top before serving.\n"},
    {28, "## Book Draft - Chapter 4: The Cost of Convenience\n"
         "### Outline\n"
         "1. Opening story: the five-minute delivery\n"
         "2. What we trade for saving time\n"
         "3. Habits that make life *simpler* instead of faster\n"
         "### Opening paragraph\n"
         "Every shortcut has a price. Most of the time we pay it without noticing, a little at a time, "
         "until the **small conveniences** add up to a life we did not quite choose.\n"
         "> Convenience is a good servant and a poor master.\n"
         "TODO: find the source of the quote\n"},
};

} // namespace

void createWelcomeNotes(PreferencesRepository *preferences, NoteRepository *notes)
{
    if (!preferences || !notes)
        return;
    if (preferences->getBool(kSeenWelcomeKey, false))
        return;

    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString bodies[] = {tripPackingList(), gettingStarted(), welcome()};
    qint64 offset = 0;
    for (const QString &body : bodies) {
        notes->insert(builtInNote(body, now.addMSecs(offset), SyncStatus::Synced)); // failures are logged there
        offset += 100;
    }
    preferences->setBool(kSeenWelcomeKey, true);
}

int createSampleNotes(NoteRepository *notes)
{
    if (!notes)
        return 0;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    int inserted = 0;
    for (const SampleText &sample : kSamples) {
        const int hours = int(QRandomGenerator::global()->bounded(12));
        const QDateTime time = now.addDays(-sample.daysAgo).addSecs(-qint64(hours) * 3600);
        const QString body = simpleMarkdownToDelta(QString::fromUtf8(sample.markdown));
        if (notes->insert(builtInNote(body, time, SyncStatus::Pending)))
            ++inserted;
    }
    return inserted;
}
