#pragma once

#include <QJsonArray>
#include <QString>

#include <functional>
#include <optional>

// Writes a note body as an HTML page that keeps what the editor shows: lists
// as <ul>/<ol> nested by the "indent" line attribute, check-list items with
// their boxes (class "checked"/"unchecked", plus a disabled check box for
// browsers unless the page is for QTextDocument, which draws its own), alignment, one <pre> per code block, one
// <blockquote> per run of quoted lines, tables, dividers and, when a resolver
// is set, attachments as images or links. Pure: reads the Delta only.
class HtmlWriter final
{
public:
    // How one attachment appears; nothing leaves it out.
    struct Attachment
    {
        QString href;  // src of an image, or target of a link
        QString name;  // alt text or link text
        bool image = false;
        int width = 0; // pixels to draw an image at; 0 leaves the size to the reader
    };
    using AttachmentResolver = std::function<std::optional<Attachment>(const QString &attachmentId)>;

    void setAttachmentResolver(AttachmentResolver resolver) { m_resolve = std::move(resolver); }
    // For a page QTextDocument lays out (print, PDF): its own check markers
    // are drawn instead of browser check boxes.
    void setForRichText(bool richText) { m_richText = richText; }

    // "<html><head>…</head><body>\n" … "</body></html>", one block per line.
    QString write(const QJsonArray &delta) const;

    // The deepest nesting written; deeper indents are written at this level.
    static constexpr int kMaxIndent = 8;

private:
    AttachmentResolver m_resolve;
    bool m_richText = false;
};
