#pragma once

#include <QPushButton>

// A small map button whose caption names a value and its key, "12   (F2)" or "Satellit   (strg+a)":
// drawn on two lines, the value large and the key small beneath it, so that both fit the button's
// design size. text() stays the caption as it is.
class CaptionButton : public QPushButton {
    Q_OBJECT

public:
    explicit CaptionButton(const QString& caption, QWidget* parent = nullptr);

    // The caption's two parts: the value before the key's parenthesis, and the key.
    [[nodiscard]] QString valuePart() const;
    [[nodiscard]] QString keyPart() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};
