#pragma once

#include <QString>

#include <optional>

// The user agreement: its text, shipped with the application, and whether the user has
// accepted the current version (kept in the per-user preferences store).
namespace Vetron::LicenseAgreement {

inline constexpr char currentVersion[] = "1.0";
inline constexpr char preferenceKey[] = "acceptedLicenseAgreementVersion";

// True only when the stored accepted version is exactly the current one.
bool isAccepted();

// Stores the current version as accepted; every LicenseAcceptance hears of it.
void accept();

// The agreement text: the override when one is set, else the shipped "License-RU.txt", else a
// sentence saying it could not be loaded.
QString text();

// The text at `path` read as UTF-8, or the could-not-load sentence.
QString textAt(const QString &path);

// Replaces the text (preview rendering); nothing restores the shipped one.
void setTextOverride(std::optional<QString> text);

} // namespace Vetron::LicenseAgreement
