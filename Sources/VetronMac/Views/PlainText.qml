import QtQuick

// Text drawn exactly as it is written. A title, name or message from the server or the user may
// hold markup: read as rich text, "<img src=…>" would be fetched straight from the network,
// outside the proxies, and an ordinary "<" would swallow what follows. Every text of the views
// is one of these.
Text {
    textFormat: Text.PlainText
}
