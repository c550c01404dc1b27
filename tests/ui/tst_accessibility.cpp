#include "velmtest.h"

#include "accountscreen.h"
#include "editoraccessibility.h"
#include "editortoolbar.h"
#include "exportdialog.h"
#include "importdialog.h"
#include "writeplan.h"
#include "inserttabledialog.h"
#include "iocommands.h"
#include "linkdialog.h"
#include "mainwindow.h"
#include "notebookcommands.h"
#include "movetonotebookdialog.h"
#include "notebookdialog.h"
#include "notebooklistwidget.h"
#include "noteeditor.h"
#include "noteheaderbar.h"
#include "notelistdelegate.h"
#include "notelistwidget.h"
#include "notewindow.h"
#include "notewindowregistry.h"
#include "notewindows.h"
#include "searchscreen.h"
#include "settingsdialog.h"
#include "sharedscreen.h"
#include "statusbar.h"
#include "thememanager.h"
#include "todolistmodel.h"
#include "todosscreen.h"
#include "trashscreen.h"
#include "uitestkit.h"
#include "versionhistorydialog.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QCheckBox>
#include <QListView>
#include <QListWidget>
#include <QMenuBar>
#include <QPainter>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTextBlock>
#include <QTextTable>

using namespace VelmTest;

namespace {

bool isActionable(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::SpinBox:
    case QAccessible::List:
    case QAccessible::Table:
    case QAccessible::Tree:
    case QAccessible::PageTab:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
        return true;
    default:
        return false;
    }
}

// Every shown actionable object below iface without a name, as a path of roles.
void collectUnnamed(QAccessibleInterface *iface, const QString &path, QStringList *unnamed)
{
    if (!iface || iface->state().invisible)
        return;
    const QAccessible::Role role = iface->role();
    const QString here = path + QLatin1Char('/') + QString::number(int(role))
        + (iface->object() ? QLatin1Char(':') + iface->object()->metaObject()->className() : QString());
    if (isActionable(role) && iface->text(QAccessible::Name).trimmed().isEmpty())
        *unnamed << here;
    // A list's rows carry their own texts; their number is the data's, not the window's.
    if (role == QAccessible::List || role == QAccessible::Table || role == QAccessible::Tree)
        return;
    for (int i = 0; i < iface->childCount(); ++i)
        collectUnnamed(iface->child(i), here, unnamed);
}

} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<AppState> m_state;
    Questions m_questions;

    std::unique_ptr<MainWindow> mainWindow()
    {
        auto window = std::make_unique<MainWindow>(m_state.get());
        window->hooks().askYesNo = m_questions.hook();
        window->notebookCommands()->hooks().askNewName = [] { return QStringLiteral("Fresh"); };
        window->resize(1200, 800);
        return window;
    }
    static void key(QWidget *window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : window;
        QTest::keyClick(target, Qt::Key(key), modifiers);
    }

    // The colour most pixels of image have: a widget's background.
    static QColor commonColour(const QImage &image)
    {
        QHash<QRgb, int> counts;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                ++counts[image.pixel(x, y) | 0xFF000000];
        QRgb best = 0;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it)
            if (it.value() > counts.value(best))
                best = it.key();
        return QColor(best);
    }
    // The pixel of image that stands out most from background: its ink.
    static QColor inkOf(const QImage &image, const QColor &background)
    {
        QColor ink = background;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                if (contrastRatio(pixel, background) > contrastRatio(ink, background))
                    ink = pixel;
            }
        return ink;
    }

private slots:
    void init()
    {
        qputenv("NOTES_DATA_DIR", (m_dir.path() + '/' + newId()).toUtf8());
        QSettings().clear();
        m_state = emptyState();
        m_questions = {};
    }
    void cleanup() { m_state.reset(); }

    void everyActionableObjectHasAName_data()
    {
        QTest::addColumn<QString>("window");
        for (const char *name : {"main window", "main window with a note", "note window", "preferences", "account",
                                 "to-dos", "search", "trash", "shared with me", "import", "version history",
                                 "move to notebook", "new notebook", "link", "insert table", "export"})
            QTest::newRow(name) << QString::fromLatin1(name); // each a case of make below
    }
    void everyActionableObjectHasAName()
    {
        QFETCH(QString, window);
        const Note note = addNote(*m_state, "Groceries\nmilk");
        const QString work = addNotebook(*m_state, "Work");
        AppState *state = m_state.get();
        const QHash<QString, std::function<QWidget *()>> make{
            {"main window", [&] { return mainWindow().release(); }},
            {"main window with a note", [&] {
                 auto w = mainWindow();
                 w->noteList()->selectNote(note.id);
                 return w.release();
             }},
            {"note window", [&] { return new NoteWindow(state, note.id); }},
            {"preferences", [&] { return new SettingsDialog(state); }},
            {"account", [&] { return new VelmAccount::AccountScreen(state->accountClient()); }},
            {"to-dos", [&] { return new TodosScreen(state); }},
            {"search", [&] { return new SearchScreen(state); }},
            {"trash", [&] { return new TrashScreen(state); }},
            {"shared with me", [&] { return new SharedScreen(state, false); }},
            {"import", [&] { return new ImportDialog(IoCommands::repositoriesOf(state)); }},
            {"version history", [&] { return new VersionHistoryDialog(state, note.id); }},
            {"move to notebook", [&] { return new MoveToNotebookDialog(state->notebooks()->allNotebooks(), work); }},
            {"new notebook", [] { return new NotebookDialog("New Notebook", QString()); }},
            {"link", [] { return new LinkDialog("Insert Link", "text", "https://"); }},
            {"insert table", [] { return new InsertTableDialog; }},
            {"export", [] { return new ExportDialog; }},
        };
        std::unique_ptr<QWidget> top(make.value(window)());
        top->setAttribute(Qt::WA_DeleteOnClose, false);
        QVERIFY(showExposed(top.get()));
        QStringList unnamed;
        collectUnnamed(QAccessible::queryAccessibleInterface(top.get()), QString(), &unnamed);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1Char('\n'))));
    }

    // The main window's actions with key events only, one route a row.
    void mainWindowKeyboardRoutes_data()
    {
        QTest::addColumn<QString>("route");
        for (const char *route : {"Return on a sidebar row shows that notebook", "arrows alone leave the list as shown",
                                  "Space on Trash opens the Trash", "Return on New Notebook creates one",
                                  "F6 and Shift+F6 cycle the panes", "Ctrl+Tab leaves the editor, Tab inserts",
                                  "Ctrl+Shift+Tab leaves the editor backwards", "Ctrl+Return ticks a check item",
                                  "the Note menu copies, shares and includes in To-Dos"})
            QTest::newRow(route) << QString::fromLatin1(route);
    }
    void mainWindowKeyboardRoutes()
    {
        QFETCH(QString, route);
        const QString work = addNotebook(*m_state, "Work");
        Note inWork = makeNote(R"([{"insert":"Task"},{"insert":"\n","attributes":{"list":"unchecked"}}])");
        inWork.notebookId = work;
        QVERIFY(m_state->notes()->insert(inWork));
        const Note loose = addNote(*m_state, "Loose");
        auto w = mainWindow();
        QVERIFY(showExposed(w.get()));
        w->activateWindow();
        NotebookListWidget *sidebar = w->notebookList();
        sidebar->setFocus();
        const int workRow = 1, trashRow = 2, newRow = 3;

        if (route.startsWith("Return on a sidebar")) {
            key(w.get(), Qt::Key_Down);
            QCOMPARE(sidebar->currentRow(), workRow);
            key(w.get(), Qt::Key_Return);
            QCOMPARE(m_state->currentNotebookId(), work);
            QCOMPARE(sidebar->shownRow(), workRow);
            QCOMPARE(w->noteList()->count(), 1);
        } else if (route.startsWith("arrows alone")) {
            key(w.get(), Qt::Key_Down);
            key(w.get(), Qt::Key_Down);
            QCOMPARE(sidebar->currentRow(), trashRow);
            QCOMPARE(sidebar->shownRow(), 0);
            QCOMPARE(w->noteList()->count(), 2);
            QVERIFY(!w->screenWindow(MainWindow::Screen::Trash));
        } else if (route.startsWith("Space on Trash")) {
            sidebar->setCurrentRow(trashRow, QItemSelectionModel::NoUpdate);
            key(w.get(), Qt::Key_Space);
            QVERIFY(w->screenWindow(MainWindow::Screen::Trash));
            QTRY_VERIFY(w->screenWindow(MainWindow::Screen::Trash)->isVisible());
            QCOMPARE(sidebar->shownRow(), 0);
        } else if (route.startsWith("Return on New Notebook")) {
            sidebar->setCurrentRow(newRow, QItemSelectionModel::NoUpdate);
            key(w.get(), Qt::Key_Return);
            QCOMPARE(m_state->notebooks()->allNotebooks().size(), 2);
        } else if (route.startsWith("F6")) {
            w->noteList()->selectNote(loose.id);
            sidebar->setFocus();
            QWidget *header = w->headerBar()->findChild<QWidget *>("focusToggle");
            const QList<QWidget *> order{w->noteList(), w->editor(), header, sidebar};
            for (QWidget *expected : order) {
                key(w.get(), Qt::Key_F6);
                QCOMPARE(QApplication::focusWidget(), expected);
            }
            key(w.get(), Qt::Key_F6, Qt::ShiftModifier);
            QCOMPARE(QApplication::focusWidget(), header);
        } else if (route.startsWith("Ctrl+Tab") || route.startsWith("Ctrl+Shift+Tab")) {
            w->noteList()->selectNote(loose.id);
            w->editor()->setFocus();
            w->editor()->moveCursor(QTextCursor::End);
            key(w.get(), Qt::Key_Tab);
            QVERIFY(w->editor()->toPlainText().contains('\t'));
            QCOMPARE(QApplication::focusWidget(), w->editor());
            if (route.startsWith("Ctrl+Tab"))
                key(w.get(), Qt::Key_Tab, Qt::ControlModifier);
            else
                key(w.get(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
            QVERIFY(QApplication::focusWidget() != w->editor());
            QCOMPARE(w->editor()->toPlainText().count('\t'), 1);
        } else if (route.startsWith("Ctrl+Return")) {
            w->noteList()->selectNote(inWork.id);
            w->editor()->setFocus();
            key(w.get(), Qt::Key_Return, Qt::ControlModifier);
            QCOMPARE(w->editor()->document()->firstBlock().blockFormat().marker(),
                     QTextBlockFormat::MarkerType::Checked);
            QVERIFY(w->editor()->currentDelta().contains(R"("list":"checked")"));
            QCOMPARE(w->editor()->document()->blockCount(), 1);
            key(w.get(), Qt::Key_Return, Qt::ControlModifier);
            QVERIFY(w->editor()->currentDelta().contains(R"("list":"unchecked")"));
        } else {
            w->noteList()->selectNote(loose.id);
            QString copied;
            w->hooks().setClipboard = [&copied](QMimeData *data) {
                std::unique_ptr<QMimeData> owned(data);
                copied = data->text();
            };
            const QList<QAction *> menus = w->menuBar()->actions();
            QAction *markdown = findAction(menus, "Copy as Markdown");
            QAction *include = findAction(menus, "Include in To-Dos");
            QVERIFY(markdown && include && findAction(menus, "Copy as HTML") && findAction(menus, "Share Note…")
                    && findAction(menus, "New Notebook…"));
            markdown->trigger();
            QCOMPARE(copied.trimmed(), QString("Loose"));
            const bool before = m_state->notes()->includeInTodos(loose.id);
            include->trigger();
            QCOMPARE(m_state->notes()->includeInTodos(loose.id), !before);
        }
    }

    void noteWindowKeysMatchTheMainWindow_data()
    {
        QTest::addColumn<int>("keyCode");
        QTest::addColumn<QString>("opened");
        QTest::newRow("Ctrl+H history") << int(Qt::Key_H) << "history";
        QTest::newRow("Ctrl+M move") << int(Qt::Key_M) << "move";
        QTest::newRow("Ctrl+P print") << int(Qt::Key_P) << "print";
    }
    void noteWindowKeysMatchTheMainWindow()
    {
        QFETCH(int, keyCode);
        QFETCH(QString, opened);
        const Note note = addNote(*m_state, "Alone");
        auto *window = new NoteWindow(m_state.get(), note.id);
        QPointer<NoteWindow> guard(window);
        QString asked;
        window->hooks().showHistory = [&asked](QWidget *, const QString &) { asked = "history"; };
        window->hooks().chooseNotebook = [&asked](QWidget *, const QList<Notebook> &, const QString &) {
            asked = "move";
            return std::optional<QString>();
        };
        window->hooks().runPrintDialog = [&asked](QWidget *, QPrinter *) {
            asked = "print";
            return false;
        };
        QVERIFY(showExposed(window));
        window->activateWindow();
        QTest::keyClick(window->editor(), Qt::Key(keyCode), Qt::ControlModifier);
        QCOMPARE(asked, opened);
        // F6 reaches the header's buttons and comes back.
        QTest::keyClick(window->editor(), Qt::Key_F6);
        QVERIFY(window->headerBar()->isAncestorOf(QApplication::focusWidget()));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
        QCOMPARE(QApplication::focusWidget(), window->editor());
        delete guard.data();
    }

    void categoryListsTakeTheKeyboard_data()
    {
        QTest::addColumn<bool>("account");
        QTest::newRow("preferences") << false;
        QTest::newRow("account") << true;
    }
    void categoryListsTakeTheKeyboard()
    {
        QFETCH(bool, account);
        std::unique_ptr<QWidget> window;
        if (account)
            window = std::make_unique<VelmAccount::AccountScreen>(m_state->accountClient());
        else
            window = std::make_unique<SettingsDialog>(m_state.get());
        QVERIFY(showExposed(window.get()));
        window->activateWindow();
        auto *categories = window->findChild<QListWidget *>();
        auto *pages = window->findChild<QStackedWidget *>();
        // The first control of the window is the category list.
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(categories));
        for (int page = 1; page < categories->count(); ++page) {
            key(window.get(), Qt::Key_Down);
            QCOMPARE(pages->currentIndex(), page);
        }
        // Into the page: its first control, not the scroll area around it.
        key(window.get(), Qt::Key_Tab);
        QVERIFY(pages->currentWidget()->isAncestorOf(QApplication::focusWidget()));
        QVERIFY(!qobject_cast<QAbstractScrollArea *>(QApplication::focusWidget()));
    }

    void todosOpenANoteWithReturnAndKeepTheRowWhenTicked()
    {
        const Note a = addNote(*m_state, "first");
        Note b = makeNote(R"([{"insert":"one"},{"insert":"\n","attributes":{"list":"unchecked"}},)"
                          R"({"insert":"two"},{"insert":"\n","attributes":{"list":"unchecked"}}])");
        QVERIFY(m_state->notes()->insert(b));
        Q_UNUSED(a);
        TodosScreen screen(m_state.get());
        screen.showCompletedBox()->setChecked(true);
        QVERIFY(showExposed(&screen));
        screen.refresh();
        QCOMPARE(screen.model()->rowCount(), 2);
        screen.list()->setFocus();
        screen.list()->setCurrentIndex(screen.model()->index(1, 0));
        const int line = screen.list()->currentIndex().data(TodoListModel::LineIndexRole).toInt();
        QTest::keyClick(screen.list(), Qt::Key_Space);
        QTRY_VERIFY(m_state->notes()->noteById(b.id)->body.contains(R"("list":"checked")"));
        QCOMPARE(screen.list()->currentIndex().data(TodoListModel::LineIndexRole).toInt(), line);
        QCOMPARE(screen.list()->currentIndex().data(TodoListModel::NoteIdRole).toString(), b.id);
        QStringList opened;
        NoteWindowRegistry::of(m_state.get())->setFactory([&opened](const QString &id) -> QWidget * {
            opened << id;
            return nullptr;
        });
        QTest::keyClick(screen.list(), Qt::Key_Return);
        QCOMPARE(opened, QStringList{b.id});
    }

    // A sync refreshes both lists; the keyboard's place and the screen reader stay put.
    void aListRefreshAfterSyncKeepsFocusAndRow()
    {
        const QString work = addNotebook(*m_state, "Work");
        addNotebook(*m_state, "Home");
        const Note note = addNote(*m_state, "Alpha");
        addNote(*m_state, "Beta");
        auto w = mainWindow();
        QVERIFY(showExposed(w.get()));
        w->activateWindow();
        NotebookListWidget *sidebar = w->notebookList();
        sidebar->setFocus();
        QTRY_VERIFY(sidebar->hasFocus());
        key(w.get(), Qt::Key_Down);
        key(w.get(), Qt::Key_Down);
        const int row = sidebar->currentRow();
        QVERIFY(row > 0);
        w->noteList()->selectNote(note.id);
        sidebar->setFocus();
        // A new current row is what a screen reader announces; a rebuild is what loses it.
        QSignalSpy moved(sidebar->selectionModel(), &QItemSelectionModel::currentChanged);
        QSignalSpy rebuilt(sidebar->model(), &QAbstractItemModel::rowsRemoved);
        QSignalSpy listMoved(w->noteList()->selectionModel(), &QItemSelectionModel::currentChanged);

        // What a pulled change does: a count changes, and everything is refreshed.
        Note pulled = makeNote(textDelta("Pulled"));
        pulled.notebookId = work;
        QVERIFY(m_state->notes()->insert(pulled));
        emit m_state->notesChanged();
        emit m_state->notebooksChanged();

        QVERIFY(sidebar->hasFocus());
        QCOMPARE(sidebar->currentRow(), row);
        QCOMPARE(sidebar->shownRow(), 0);
        QCOMPARE(w->noteList()->selectedNoteId(), note.id);
        QCOMPARE(moved.count(), 0);
        QCOMPARE(rebuilt.count(), 0);
        QCOMPARE(listMoved.count(), 0);
        QVERIFY(sidebar->item(row)->data(Qt::AccessibleTextRole).toString().contains("note"));
        // Rows read out more than their title: here the time beside it.
        QVERIFY(w->noteList()->currentIndex().data(Qt::AccessibleDescriptionRole).toString().contains("just now"));
    }

    void dialogsFocusTheirFirstUsefulControl()
    {
        ImportDialog import(IoCommands::repositoriesOf(m_state.get()));
        import.setImporter(ImportDialog::Format::Joplin,
                           [](const QString &, WritePlan &) { return ImportResult{}; });
        QVERIFY(showExposed(&import));
        import.activateWindow();
        import.next();
        auto *browse = qobject_cast<QAbstractButton *>(QApplication::focusWidget());
        QVERIFY(browse);
        QCOMPARE(browse->text(), QString("Browse..."));
        import.setSelectedFile("/nonexistent.jex");
        import.next();
        QTRY_COMPARE(import.currentId(), int(ImportDialog::SummaryPage));
        QWidget *focus = QApplication::focusWidget();
        QVERIFY(focus && focus->isVisible() && focus->isEnabled());
        QCOMPARE(focus, import.button(QWizard::FinishButton));
    }

    void statusMessagesAreAnnounced()
    {
        const Note note = addNote(*m_state, "Doomed");
        auto w = mainWindow();
        QVERIFY(showExposed(w.get()));
        w->noteList()->selectNote(note.id);
        w->noteList()->setFocus();
        QTest::keyClick(w->noteList(), Qt::Key_Delete);
        QVERIFY(m_state->notes()->noteById(note.id)->deletedAt);
        // The bar's name change is what a screen reader reads out.
        QCOMPARE(w->statusBarWidget()->accessibleName(), QString("Moved to Trash"));
    }

    void editorDescribesTheLineAtTheCursor_data()
    {
        QTest::addColumn<QString>("delta");
        QTest::addColumn<QString>("description");
        const auto line = [](const char *text, const char *attributes) {
            return QStringLiteral(R"({"insert":"%1"},{"insert":"\n","attributes":%2})").arg(text, attributes);
        };
        QTest::newRow("plain") << textDelta("just text") << "";
        QTest::newRow("heading") << "[" + line("Title", R"({"header":2})") + "]" << "heading level 2";
        QTest::newRow("ticked") << "[" + line("Done", R"({"list":"checked"})") + "]" << "check item, checked";
        QTest::newRow("not ticked") << "[" + line("Open", R"({"list":"unchecked"})") + "]"
                                    << "check item, not checked";
        QTest::newRow("bullet") << "[" + line("a", R"({"list":"bullet"})") + "," + line("b", R"({"list":"bullet"})") + "]"
                                << "bulleted list item 1 of 2";
        QTest::newRow("numbered") << "[" + line("a", R"({"list":"ordered"})") + "," + line("b", R"({"list":"ordered"})")
                + "]"
                                  << "numbered list item 1 of 2";
        QTest::newRow("code") << "[" + line("x = 1", R"({"code-block":true})") + "]" << "code block";
        QTest::newRow("link") << R"([{"insert":"site","attributes":{"link":"https://a.example/"}},{"insert":"\n"}])"
                              << "link to https://a.example/";
    }
    void editorDescribesTheLineAtTheCursor()
    {
        QFETCH(QString, delta);
        QFETCH(QString, description);
        NoteEditor editor;
        editor.loadNote(newId(), delta);
        editor.moveCursor(QTextCursor::End);
        editor.moveCursor(QTextCursor::Start);
        QCOMPARE(editor.accessibleDescription(), description);
    }
    void tablesAndAttachmentsAreDescribed()
    {
        QTextDocument document;
        QTextCursor cursor(&document);
        QTextTable *table = cursor.insertTable(4, 3);
        const QString text = EditorAccessibility::describe(table->cellAt(1, 2).firstCursorPosition(),
                                                           [](int) { return QStringLiteral("report.pdf"); });
        QCOMPARE(text, QString("table, 3 columns, 4 rows: row 2, column 3, attachment report.pdf"));
    }

    void themeSwitchReachesToolbarsAndStatusBarsOfOpenWindows()
    {
        installNoteWindowFactory(m_state.get());
        const Note note = addNote(*m_state, "Words");
        auto window = mainWindow();
        QVERIFY(showExposed(window.get()));
        QPointer<QWidget> noteWindow = NoteWindowRegistry::of(m_state.get())->open(note.id);
        QVERIFY(noteWindow && QTest::qWaitForWindowExposed(noteWindow));
        const auto cleanUp = qScopeGuard([&] { delete noteWindow.data(); });
        ThemeManager *theme = m_state->themeManager();
        for (const char *mode : {"light", "dark", "light", "dark"}) {
            theme->setThemeMode(QString::fromLatin1(mode));
            QCoreApplication::processEvents();
            for (QWidget *shown : {static_cast<QWidget *>(window.get()), noteWindow.data()}) {
                const QString where = QString::fromLatin1(mode) + " " + shown->metaObject()->className();
                auto *toolbar = shown->findChild<EditorToolbar *>();
                QVERIFY(toolbar);
                const QColor bar = commonColour(toolbar->grab().toImage());
                for (QAction *action : toolbar->actions()) {
                    if (action->icon().isNull())
                        continue;
                    QImage drawn(24, 24, QImage::Format_ARGB32);
                    drawn.fill(bar);
                    QPainter(&drawn).drawPixmap(0, 0, action->icon().pixmap(24));
                    const QColor ink = inkOf(drawn, bar);
                    QVERIFY2(contrastRatio(ink, bar) >= 3.0, qPrintable(where + ": " + action->toolTip() + " "
                                                                        + ink.name() + " on " + bar.name()));
                }
                auto *status = shown->findChild<StatusBar *>();
                QVERIFY(status);
                const QImage image = status->grab().toImage();
                const QColor under = commonColour(image);
                const QColor text = inkOf(image, under);
                QVERIFY2(contrastRatio(text, under) >= 4.5,
                         qPrintable(where + ": status " + text.name() + " on " + under.name()));
            }
        }
    }

    // Helper, empty-state and status texts on the window and on list backgrounds.
    void quietTextsReadInBothThemes_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::addColumn<int>("role"); // -1: the palette's placeholder text
        for (bool dark : {false, true}) {
            const char *theme = dark ? "dark" : "light";
            QTest::addRow("%s muted", theme) << dark << int(ThemeManager::Colour::MutedText);
            QTest::addRow("%s status", theme) << dark << int(ThemeManager::Colour::StatusText);
            QTest::addRow("%s placeholder", theme) << dark << -1;
        }
    }
    void quietTextsReadInBothThemes()
    {
        QFETCH(bool, dark);
        QFETCH(int, role);
        const QPalette palette = dark ? ThemeManager::darkPalette() : ThemeManager::lightPalette();
        const QColor ink = role < 0 ? palette.color(QPalette::PlaceholderText)
                                    : ThemeManager::colour(ThemeManager::Colour(role), palette);
        for (const QPalette::ColorRole ground : {QPalette::Window, QPalette::Base})
            QVERIFY2(contrastRatio(ink, palette.color(ground)) >= 4.5,
                     qPrintable(ink.name() + " on " + palette.color(ground).name()));
    }

    void focusFramesStandOutInBothThemes_data()
    {
        QTest::addColumn<QPalette>("palette");
        QTest::newRow("light") << ThemeManager::lightPalette();
        QTest::newRow("dark") << ThemeManager::darkPalette();
    }
    void focusFramesStandOutInBothThemes()
    {
        QFETCH(QPalette, palette);
        const NoteListColors c = noteListColors(palette);
        for (const QColor &under : {c.background, c.hover, c.selected})
            QVERIFY2(contrastRatio(c.focus, under) >= 3.0, qPrintable(c.focus.name() + " on " + under.name()));
    }
};

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
