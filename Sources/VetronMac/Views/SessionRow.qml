import QtQuick
import QtQuick.Layouts
import Vetron

// One session of the settings list: its title, last use and counts, "Открыть" and "Удалить".
RowLayout {
    id: row

    required property AppModel appModel
    required property protectedSession session

    signal deleteRequested()

    Layout.fillWidth: true
    spacing: 10

    ColumnLayout {
        Layout.fillWidth: true
        spacing: 2

        PlainText {
            objectName: "sessionRowTitle"
            Layout.fillWidth: true
            text: SessionLook.title(row.session)
            font.family: Fonts.system
            font.pixelSize: 13
            font.weight: Font.DemiBold
            color: Theme.ink
            elide: Text.ElideRight
        }
        PlainText {
            Layout.fillWidth: true
            text: SessionLook.lastUsed(row.session)
            font.family: Fonts.system
            font.pixelSize: 12
            color: Theme.muted
        }
        PlainText {
            Layout.fillWidth: true
            text: SessionLook.counts(row.session)
            font.family: Fonts.system
            font.pixelSize: 12
            color: row.session.bypass ? Theme.warnMeta : Theme.muted
        }
    }
    BorderedButton {
        objectName: "sessionOpenButton"
        text: "Открыть"
        onClicked: row.appModel.openSession(row.session)
    }
    DangerGhostButton {
        objectName: "sessionDeleteButton"
        text: "Удалить"
        Accessible.name: "Удалить сессию " + SessionLook.title(row.session)
        onClicked: row.deleteRequested()
    }
}
