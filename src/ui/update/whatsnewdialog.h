#pragma once

#include "manifest.h"

#include <QDialog>

#include <optional>

namespace VelmUpdate {

// The release notes of a version, shown after an upgrade or on request. With
// an offer it also leads to the download of that newer version.
class WhatsNewDialog final : public QDialog
{
    Q_OBJECT
public:
    WhatsNewDialog(const QString &displayName, const QString &version, const QString &markdown,
                   const std::optional<Artifact> &offer, QWidget *parent = nullptr);
};

} // namespace VelmUpdate
