#pragma once

class QListWidget;
class QString;
template<typename T> class QList;
using QStringList = QList<QString>;

// The category column of the preferences and account windows: frameless,
// its rows styled from the theme, and wider than minimumWidth only when a
// large font scale would clip a category.
void setUpCategoryList(QListWidget *list, const QStringList &categories, int minimumWidth);
// Bakes the application palette into the list's style sheet; call it again
// after a theme change.
void styleCategoryList(QListWidget *list);
