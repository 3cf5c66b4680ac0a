#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace Vetron {

// The user agreement as a view sees it: whether the current version is accepted, kept in the
// preferences store, with a change signal so the gate moves on the moment the agreement screen
// accepts. Every instance hears every acceptance made in this process.
class LicenseAcceptance : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool accepted READ accepted NOTIFY acceptedChanged)
    Q_PROPERTY(QString text READ text CONSTANT)

public:
    explicit LicenseAcceptance(QObject *parent = nullptr);
    ~LicenseAcceptance() override;

    bool accepted() const { return m_accepted; }
    QString text() const;

    // Stores the current version as accepted.
    Q_INVOKABLE void accept();

    // Re-reads the store in every instance (after the acceptance was written).
    static void refreshAll();

Q_SIGNALS:
    void acceptedChanged();

private:
    void refresh();

    bool m_accepted;
};

} // namespace Vetron
