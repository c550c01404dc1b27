<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name>AccountChoiceBanner</name>
    <message>
        <source>&amp;Keep on This Computer Only</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The notes stay here and are never uploaded to this account. Notes of another account sync with it again when it signs in on this computer.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Upload to This Account</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The notes are uploaded as new notes of this account. Copies in another account stay there as they are.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Signed in on %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Signed in as %1 on %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Notebooks on this computer were never synced with this account. Upload them to this account, or keep them on this computer only? Nothing is uploaded until you choose.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 note on this computer was never synced with this account. Upload it to this account, or keep it on this computer only? Nothing is uploaded until you choose.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 notes on this computer were never synced with this account. Upload them to this account, or keep them on this computer only? Nothing is uploaded until you choose.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>AccountMenu</name>
    <message>
        <source>Sign In…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Manage Account…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign &amp;Out</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Signed Out</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server ended this session, for example after a password change on another computer.

Your notes stay on this computer; changes made since are uploaded after you sign in again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Later</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The notes could not be settled; nothing was changed or uploaded.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>AccountScreen</name>
    <message>
        <source>Unknown</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Active now</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1m ago</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1h ago</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1d ago</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 on %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unknown client</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Application</name>
    <message>
        <source>Data Folder In Use</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Another Velmora Notes process is using the data folder:

%1

Close it first.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Database Error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to initialize the database.

Data directory: %1

Please check file permissions and try again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Try Repair</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Every note that can still be read is copied into a new database file; the damaged file is kept beside it. Velmora Notes closes afterwards: start it again to use the repaired database.

Repair now?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Repair</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Nothing was lost.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not everything could be read:
%1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Database Repaired</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The database was repaired. %1

The damaged file is kept as:
%2

Velmora Notes will now close; start it again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Repair Failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The database could not be repaired and has not been changed:

%1

Velmora Notes will now close.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Untitled</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Velmora Notes ended while changes to these notes could not be saved. Their text was kept:

%1

Restore it into your notes? Text of a note that was deleted meanwhile comes back as a new note.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Recover Unsaved Text</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restore</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Discard</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Some of the kept text could not be stored; it stays kept and is offered again at the next start. The log tells why.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>AttachmentRenderer</name>
    <message>
        <source>Attachment</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>AttachmentSync</name>
    <message>
        <source>Uploading attachments</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Checking attachments</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Downloading attachments</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Backup</name>
    <message>
        <source>Failed to create ZIP: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Preparing backup...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to read the notes for the backup</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Saving notebooks...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Saving notes...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Saving attachments...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to extract backup</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No manifest.json found</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restoring notebooks...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restoring attachments...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restoring notes...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restoring version history...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reading backup...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Nothing was restored: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancelled: nothing was restored.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DataFolderGuard</name>
    <message>
        <source>The installation id in &quot;%1&quot; was missing or unreadable, so a new, empty database was started. Your earlier notes are still in:

%2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The notes database was empty (0 bytes), as after a failed copy or a damaged disk, so a new, empty database was started in its place:

%1

If you have a backup, restore it with File &gt; Restore Backup.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New Database Started</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DatabaseDamageBanner</name>
    <message>
        <source>&lt;b&gt;The notes database is damaged.&lt;/b&gt; It is open read-only: nothing can be changed until it is repaired. Back up what can still be read first.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Back Up...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Try Repair</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DatabaseHealth</name>
    <message>
        <source>The notes database is damaged:

%1

%2

It has not been changed. Velmora Notes will now close; keep a copy of the file before repairing it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Database Error</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>EditorActions</name>
    <message>
        <source>Bold</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Italic</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Underline</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Strikethrough</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Inline Code</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Heading 1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Heading 2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Heading 3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Normal Text</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Bullet List</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Numbered List</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Checkbox List</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Code Block</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Blockquote</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Align Left</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Align Center</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Align Right</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Insert Link...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Insert Divider</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Insert Table...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Insert Attachment...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select Line</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete Word</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Duplicate Line</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete Line</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Move Line Up</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Move Line Down</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cut</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paste</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paste as Plain Text</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select All</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>EditorAttachments</name>
    <message>
        <source>%1 (%2)
(Double-click to open, right-click for more)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>EditorPointer</name>
    <message>
        <source>%1
(Ctrl+click to open)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>EditorSession</name>
    <message>
        <source>Select a note or press Ctrl+N to create one</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start typing...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This note is too large to edit here (%1 MB). It is shown as plain text and cannot be changed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This note has a paragraph too long to edit here (%1 characters). It is shown as plain text, broken into lines, and cannot be changed.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>EditorToolbar</name>
    <message>
        <source>Heading Level</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Normal</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Heading %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>More formatting commands</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Nested tables are not supported</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Export</name>
    <message>
        <source>Failed to write file: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the PDF could not be created</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot create the folder %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot copy %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ExportDialog</name>
    <message>
        <source>Export Note</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Format</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Markdown (.md)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>HTML (.html)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PDF (.pdf)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Include attachments (ZIP bundle)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>FindBar</name>
    <message>
        <source>Find in note</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Find</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No results</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Previous Match (Shift+F3)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Next Match (F3)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Replace</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show Replace (Ctrl+R)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close (Escape)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Replace with</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Replace All</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Find in Note...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Find Next</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Find Previous</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Replace...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%n match(es)</source>
        <translation>
            <numerusform>%n match</numerusform>
            <numerusform>%n matches</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n replaced</source>
        <translation>
            <numerusform>%n replaced</numerusform>
            <numerusform>%n replaced</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ImageLightbox</name>
    <message>
        <source>Image</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ImportDialog</name>
    <message>
        <source>larger than %1 MiB</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the import would fill the disk</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: an attachment cannot be read: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no data</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>[Encrypted content]</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>missing attachment</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to read archive or archive is empty</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot open %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to create temp directory</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reading %1...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Imported Notebook</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(untitled)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Importing: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tags: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: %2 attachments are missing from the file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: %2 encrypted sections kept as placeholders</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 is damaged at line %2: %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No notes found in %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot be read: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>larger than %1 MB</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not valid JSON: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not a JSON object</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Imported: %1 notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>
Attachments: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>
Skipped: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>
Errors: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>
Warnings: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>
... and %1 more (see the log)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Attachment %1: cannot be stored</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Attachment %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reading archive...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: cannot be stored</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: not UTF-8, read as Windows-1252</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The archive is damaged or cut short: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The archive is cut short: it ends without its end-of-archive blocks</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Folder %1: no id</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Imported Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Importing %1 notes...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Note %1: no id</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: attachment %2 is missing from the archive</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No Markdown or text files found in %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: larger than %2 MiB</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: %2 is larger than %3 MiB</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: the link to %2 leads outside the folder and was not followed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Extracting archive...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to extract archive: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot open %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: unsafe name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>config.json: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No config.json found in archive</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>config.json: a notebook without id</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>config.json: a note without id</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: encrypted notes cannot be imported</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: attachment %2 has no valid md5</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>[missing attachment: %1]</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%1: %n link(s) to notes not in the archive kept as text</source>
        <translation>
            <numerusform>%1: %n link to a note not in the archive kept as text</numerusform>
            <numerusform>%1: %n links to notes not in the archive kept as text</numerusform>
        </translation>
    </message>
    <message>
        <source>Import Notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select Format</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose the format of the file you want to import.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Joplin Export (.jex)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Synology NoteStation (.nsx)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Evernote Export (.enex)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Folder of Markdown files (or a .zip of one)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose the file to import.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No file selected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Browse...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose Folder...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Named after the file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Import into &amp;notebook:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Importing...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Please wait while your notes are imported.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Import progress</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Starting import...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Import Complete</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Joplin Export (*.jex);;All Files (*)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>NoteStation Export (*.nsx);;All Files (*)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Evernote Export (*.enex);;All Files (*)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ZIP Archive (*.zip);;All Files (*)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select Import File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select Folder to Import</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No file was selected.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Starting import of %1...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Nothing was imported: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancelled: nothing was imported.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancelling...</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>InsertTableDialog</name>
    <message>
        <source>Insert Table</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Include header row</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rows:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Columns:</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>IoCommands</name>
    <message>
        <source>Export Note</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Exported to %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export Failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Velmora Notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export as Markdown</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Folder (*);;ZIP Archive (*.zip)</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>Exported %n notes to %1</source>
        <translation>
            <numerusform>Exported %n note to %1</numerusform>
            <numerusform>Exported %n notes to %1</numerusform>
        </translation>
    </message>
    <message>
        <source>Save Backup</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ZIP Archive (*.zip)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Backup Database</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Backup Failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Backup saved: %1 notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select Backup</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restore Backup</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Import notes from backup? Existing notes with the same ID will be skipped.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restore Database</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Imported: %1
Skipped: %2
Errors: %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restore Complete</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reading backup...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>LinkDialog</name>
    <message>
        <source>Text:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>URL:</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ListFeed</name>
    <message>
        <source>All Notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No notes match “%1”.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No notes yet.

Press Ctrl+N to write your first note.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This notebook is empty.

Press Ctrl+N to write a note in it, or drag notes here from another notebook.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>MainMenus</name>
    <message>
        <source>&amp;File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>F&amp;ormat</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Note</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New Note</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New Note in Window</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save Snapshot</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The snapshot could not be saved</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New Notebook…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Import...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export All Notes as Markdown...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Print...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Print Preview...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Backup Database...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restore Database...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Preferences…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Undo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Redo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Move to Notebook...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Version History...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open in New Window</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show Its Notebook</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Move to Trash…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>To-Dos</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Find</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Search All Notes...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Trash</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Shared with Me</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Shared by Me</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Next Pane</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Previous Pane</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Focus Mode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Hide the notebook and note lists to write without distractions</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show Notebook Sidebar</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sync Now</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Force Full Resync…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>About Velmora Notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Velmora Notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Load &amp;Sample Notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>About Qt</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Velmora Notes %1

Search-first, zero-friction note-taking.

%2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Load Sample Notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Insert 7 sample notes into this database?

They&apos;ll appear in the unorganized pool with staggered dates from today to 28 days ago. Existing notes are not modified.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Loaded %1 sample note(s).</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Print Note</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Search — Velmora Notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>To-Dos — Velmora Notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Trash — Velmora Notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Shared by Me — Velmora Notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Shared with Me — Velmora Notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Continue in your browser to sign in…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign-in cancelled.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign-in failed: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Signed in.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Signed in as %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Signed out. Your notes stay on this computer.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Force Full Resync</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Re-upload every local note and notebook to the server, and re-download everything the server has?

This is safe — no data is lost — but it can take a while if you have a lot of notes or attachments. Use this only if your local copy and the server seem out of sync.</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>Marked %n note(s) for re-sync.</source>
        <translation>
            <numerusform>Marked %n note for re-sync.</numerusform>
            <numerusform>Marked %n notes for re-sync.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>MarkdownFolderExport</name>
    <message>
        <source>cannot copy %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot create %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to write file: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Exporting: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>MoveToNotebookDialog</name>
    <message>
        <source>Move to Notebook</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Notebooks</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No Notebook</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 (current)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select a notebook:</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NoteCommands</name>
    <message>
        <source>Remove access</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Move to Trash</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Move &quot;%1&quot; to Trash?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>this note</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Moved to Trash</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No note selected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Printed %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Print Preview — %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open in New Window</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Move to Notebook</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Manage Sharing…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Share…</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NoteEditor</name>
    <message>
        <source>check item, checked</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>check item, not checked</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>numbered list item %1 of %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>bulleted list item %1 of %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>heading level %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>code block</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>quote</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>table, %1 columns, %2 rows: row %3, column %4</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>link to %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>attachment %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Link</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This link is not a web or mail address and may start another program:

%1

Open it?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Attachment</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&quot;%1&quot; is a file of type %2, which may run a program on this computer.

Open it?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Insert Attachment</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All Files (*.*);;Images (*.png *.jpg *.jpeg *.gif *.webp *.bmp *.svg)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save Attachment</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save As…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove Attachment</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy Link Address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Edit Link…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove Link</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Insert Row Above</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Insert Row Below</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Insert Column Before</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Insert Column After</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete Row</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete Column</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete Table</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 KB</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 MB</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Note text</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Insert Link</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Edit Link</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NoteHeaderBar</name>
    <message>
        <source>Unorganized</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Toggle sidebars (Ctrl+\)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Toggle sidebars</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open this notebook</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy As</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy as Plain Text</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy as Markdown</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy as HTML</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Share note</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Share Note…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Version history</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>More actions</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Include in To-Dos</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Move to Notebook…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Print…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Move to Trash</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Manage sharing</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Manage Sharing…</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NoteListModel</name>
    <message>
        <source>Not synced: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>shared</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not yet synced</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>sync conflict</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not synced: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NoteListPane</name>
    <message>
        <source>Search...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Search notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Search index still being built: some notes may not be found yet.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Search (index being built)...</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NoteListWidget</name>
    <message>
        <source>Untitled</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Notes</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NotePane</name>
    <message>
        <source>The note changed elsewhere; your text was kept as a conflict copy</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NotePusher</name>
    <message>
        <source>Note push failed (HTTP %1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Uploading notes</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NoteSession</name>
    <message>
        <source>Untitled</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NoteWindow</name>
    <message>
        <source>Print Note</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save Snapshot</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The snapshot could not be saved</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Undo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Redo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>F&amp;ormat</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Note</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Move to Notebook...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Version History...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Print...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Move to Trash</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Next Pane</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Previous Pane</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>About Velmora Notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>About</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Velmora Notes %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove Selected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All Notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Velmora Notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 — Velmora Notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Untitled</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Printed %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Move &quot;%1&quot; to Trash?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>this note</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NotebookCommands</name>
    <message>
        <source>Delete Notebook</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete &quot;%1&quot;? Its notes will move to All Notes.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rename Notebook…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Share Notebook…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export as Markdown…</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NotebookDialog</name>
    <message>
        <source>Notebook name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New Notebook</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rename Notebook</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NotebookListWidget</name>
    <message>
        <source>Notebooks</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1, 1 note</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1, %2 notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All Notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Trash</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New Notebook…</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NotebookSync</name>
    <message>
        <source>Uploading notebooks</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Downloading notebooks</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Notebook list failed (HTTP %1)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OfflineBanner</name>
    <message>
        <source>Offline</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Try Again</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PageHost</name>
    <message>
        <source>Categories</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PullMerger</name>
    <message>
        <source>Downloading notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pull failed (HTTP %1)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>RelativeTime</name>
    <message>
        <source>just now</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1m ago</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1h ago</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Yesterday</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Updated %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>Updated %1 · %n words</source>
        <translation>
            <numerusform>Updated %1 · %n word</numerusform>
            <numerusform>Updated %1 · %n words</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>SearchScreen</name>
    <message>
        <source>Search all notes...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Search all notes</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SettingsDialog</name>
    <message>
        <source>Preferences</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Appearance</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Editor</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Window</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sync</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Account</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Theme</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose how Velmora Notes looks. System follows your desktop&apos;s light or dark mode automatically.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>System</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Light</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Dark</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Small</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Default</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Medium</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Large</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Extra Large</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Font size</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Layout</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Steno mode flips the note list so the oldest note is at the top and the search bar moves to the bottom — a steno-pad feel for rapid capture.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Enable Steno mode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>System Tray</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Keep Velmora Notes running in the background for instant capture without a cold start.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close to tray</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>When enabled, closing the window hides it to the system tray instead of quitting.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start minimized to tray</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Launch Velmora Notes directly to the tray — useful for autostart at login.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Your desktop shows no system tray, so closing the window quits Velmora Notes. These options appear when a tray is available.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Status</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Current sync state and a quick manual trigger.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sync now</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Automatic Sync</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Push local changes and pull updates from the server in the background.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Enable automatic sync</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> min</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Interval:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Notifications</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Toast messages about sync state.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show a banner when offline</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Velmora Account</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Your Velmora account unlocks cloud sync and sharing across devices.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Manage Account…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign In…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign Out</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Server</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The Velmora server your account lives on, for example a server of your own.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Server:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign-in cancelled.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign-in failed: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Signed out.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not signed in</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sync is not available.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Push pending changes and pull the latest from the server.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign in to your Velmora account to sync.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Continue in your browser… Velmora Notes waits for the sign-in to finish.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Signed in</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Signed in as %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel Sign-In</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Set by the environment (AUTH_BASE_URL); it takes precedence.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Leave empty for the server on this computer.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a server address. Use one like https://notes.example.org.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unencrypted Connection</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&quot;%1&quot; is an http:// address of another computer. Your sign-in, your notes and their attachments would cross the network unencrypted, readable and changeable by anyone on the way.

Use an https:// address unless you trust every network in between. Use this address anyway?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Change Server</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Changing the server signs you out of your Velmora account. Continue?</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ShareCommands</name>
    <message>
        <source>Sharing: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Shared with</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not shared with anyone yet.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Share</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Share Failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove Failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove Share</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Share Note</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Untitled</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Share this note with members of your Velmora family group. They&apos;ll see the latest version synced to their devices.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove %1&apos;s access to this note?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Share Notebook</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Share this notebook with members of your Velmora family group. They&apos;ll see every note inside it on their devices.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove access</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove %1&apos;s access to this notebook?</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SharedScreen</name>
    <message>
        <source>You haven&apos;t shared any notes yet.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No notes have been shared with you yet.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Shared with you by another member</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Shared by %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>StatusBar</name>
    <message>
        <source>Saved</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Saving...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not saved — retrying</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>note</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Words: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All Notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not signed in</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Status</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Notebook</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Word count</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sync status</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Checking sign-in…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Signed out — sign in again</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Signed in</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Uploads paused until you choose in the main window</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Offline: %1 does not answer.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Offline: %1 does not answer (%2).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sync error: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Last synced %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not synced yet.</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%n change(s) waiting to be uploaded.</source>
        <translation>
            <numerusform>%n change waiting to be uploaded.</numerusform>
            <numerusform>%n changes waiting to be uploaded.</numerusform>
        </translation>
    </message>
    <message>
        <source>No changes waiting to be uploaded.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Your changes are kept on this computer and uploaded when the server answers again.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SyncEngine</name>
    <message>
        <source>Authentication required</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Synced</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Syncing...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sync error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Offline</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SyncRefusals</name>
    <message>
        <source>too large</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>content the server cannot store</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>read-only</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no longer available</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>refused by the server</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 note not synced: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 notes not synced: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 file not synced: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 files not synced: %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TodosScreen</name>
    <message>
        <source>Sort:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sort</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Note Updated</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Alphabetical</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show Completed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Filter tasks...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Filter tasks</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tasks</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Still reading notes for their to-dos: the list grows until it is done.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TrashScreen</name>
    <message>
        <source>Restore</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete Permanently</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Empty Trash</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The Trash is empty.

Deleted notes wait here until you restore them or empty the Trash.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This note will be permanently deleted. This cannot be undone.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Permanently delete all %1 notes in trash? This cannot be undone.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TrayController</name>
    <message>
        <source>Hide Velmora Notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show Velmora Notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New Note</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Search…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>To-Dos</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quit</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>UnsavedNotes</name>
    <message>
        <source>Not Saved</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Untitled</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Changes to these notes could not be saved:

%1

Saving is retried while the application runs (the log tells why it failed). Discard the unsaved changes?</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>UpdateCommands</name>
    <message>
        <source>Checking for updates…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 is up to date (version %2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Update check failed: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Loading release notes…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No release notes available for %1 %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>What&apos;s &amp;New...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Check for &amp;Updates...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Send &amp;Feedback...</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VelmAccount::AccountPage</name>
    <message>
        <source>%1: %2.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VelmAccount::AccountScreen</name>
    <message>
        <source>Profile</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Group</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Devices</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Security</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Data &amp; Privacy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Velmora Account</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VelmAccount::AuthClient</name>
    <message>
        <source>Sign-in timed out</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not store your sign-in; you will need to sign in again next time.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to start local auth server</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No web browser could be opened for the sign-in. Set a default browser and try again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot reach the server at %1. Check your connection and the server address in Preferences.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign-in response did not match this request</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No tokens received</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign-in could not be completed; try again</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VelmAccount::DataPage</name>
    <message>
        <source>Data &amp; Privacy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Danger Zone</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Permanently delete your account and everything it holds on the server. This cannot be undone.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete Account</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>You are the group owner. Transfer ownership or remove all members before deleting your account.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This deletes your account and its notes, notebooks and attachments from the server at once. It cannot be undone; the notes on this computer stay.

Type DELETE to confirm:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to delete account.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Account Deleted</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Your account and everything it held on the server have been deleted.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VelmAccount::DevicesPage</name>
    <message>
        <source>Devices</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Devices that have synced with your account.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Registered Devices</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No devices registered.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rename…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;b&gt;%1&lt;/b&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unknown Device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>  ·  v%1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove Device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove %1?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device removed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to remove the device.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rename Device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device name:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device renamed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to rename the device.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VelmAccount::GroupPage</name>
    <message>
        <source>Invite by Email</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Generate Invite Code</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Group</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start a Group</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Share notes and notebooks with the people in your group. Invite someone by e-mail or give them an invite code; your group is created with the first invitation.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Join a Group</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Someone invited you? Enter the invite code they gave you.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Join with Invite Code</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Members</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Owner</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pending Invitations</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Revoke</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Invite code: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Invite Members</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Leave Group</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Join Group</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Enter invite code:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Joined group.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Invalid or expired invite code.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Email address:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to send invitation.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Invitation sent.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to generate code.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Invite Code</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Share this code with the person you want to invite:

%1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Leave this group? You will lose access to shared data.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Left group.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to leave the group.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove Member</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove %1 from the group?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 removed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to remove %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Invitation revoked.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to revoke the invitation.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to join the group.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VelmAccount::NoteSharingService</name>
    <message>
        <source>Share failed (HTTP %1)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VelmAccount::ProfilePage</name>
    <message>
        <source>Profile</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Personal Information</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(not set)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Edit Display Name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Change your account password.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Change Password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Display name:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to update profile.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Display name updated.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Current password:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New password (min 8 characters):</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Password must be at least 8 characters.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Confirm new password:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Passwords do not match.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Password changed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to change password.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VelmAccount::SecurityPage</name>
    <message>
        <source>Security</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sessions currently signed in to your account.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Active Sessions</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No active sessions.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Current</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Revoke</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This session</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>  ·  %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Session revoked.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to revoke the session.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VelmAccount::ShareMembersDialog</name>
    <message>
        <source>People with access</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add people</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not shared with anyone yet.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>You are not in a group yet. Create one or join one from your account to share.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All group members already have access</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Share</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove access</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove access?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 will no longer have access. Continue?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not share with %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not remove %1.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VelmUpdate::UpdateDialog</name>
    <message>
        <source>Update available</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A new version of %1 is available.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>You have version %1. The latest version is %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Loading release notes…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>*Release notes are not available for this version.*</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Download</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Skip This Version</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Later</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VelmUpdate::WhatsNewDialog</name>
    <message>
        <source>What&apos;s New in %1 %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>What&apos;s new in %1 %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>You are running version %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Download %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VersionHistoryDialog</name>
    <message>
        <source>Version History</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Versions</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save Snapshot Now</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restore Selected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>v%1 — %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restore Snapshot</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Replace current content with this snapshot? A snapshot of the current content will be saved first.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restore Failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The current content could not be saved, so nothing was restored.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restored</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Snapshot restored successfully.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pick a version to see it here.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No earlier versions yet.

A version is kept when you press Ctrl+S, when you switch to another note after editing this one, and by itself after a pause in editing.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>WelcomePage</name>
    <message>
        <source>Velmora Notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Write things down, file them in notebooks, find them again in a moment.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New Note</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign In…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign in to sync your notes between your computers and share them.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Continue in your browser… Velmora Notes is waiting for the sign-in to finish.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign-in failed: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Signed in.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Signed in as %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Try Again</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
