import QtQuick
import Vetron

// A plain button that reads as a link: its label alone, starting exactly at the column's edge
// (the Basic style would add two points on each side).
LabelButton {
    padding: 0
    horizontalPadding: 0
    background: null
}
