pragma Singleton
import QtQuick

// The invented person and contacts of the explainer's diagrams, and the placeholders that stand
// for them, in the same order.
QtObject {
    readonly property list<string> realValues: ["Анна Примерова", "anna@example.com", "+7 000 123-45-67",
        "ИНН 123456789012"]
    readonly property list<string> placeholders: ["PERSON_1", "EMAIL_1", "PHONE_1", "INN_1"]
}
