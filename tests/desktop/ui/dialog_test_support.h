#pragma once
// Helpers for driving the real dialogs: controls by id, and modal message boxes answered with OK.

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

template <class T>
T* byId(const QWidget* window, int id)
{
    T* widget = window->findChild<T*>(QString::number(id));
    EXPECT_NE(widget, nullptr) << "control " << id;
    return widget;
}

// The texts of a box's or a list's entries, in order.
inline QStringList itemTexts(const QComboBox* box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

inline QStringList itemTexts(const QListWidget* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

// While it lives, every message box that becomes the active modal window is recorded and
// answered with OK (a question with `questionAnswer`) from a zero-delay timer, which runs
// inside the box's own event loop.
class MessageBoxAnswerer {
public:
    struct Seen {
        QString title;
        QString text;
    };
    QMessageBox::StandardButton questionAnswer = QMessageBox::Yes;

    MessageBoxAnswerer()
    {
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, [this] { answer(); });
        timer.start();
    }

    // The boxes seen since the last call, in order.
    std::vector<Seen> take() { return std::exchange(seen, {}); }

    // The one box seen since the last call must have caption "Error" and this text.
    void expectError(const char* text)
    {
        const std::vector<Seen> boxes = take();
        ASSERT_EQ(boxes.size(), 1u) << "expected the message " << text;
        EXPECT_EQ(boxes[0].title.toStdString(), "Error");
        EXPECT_EQ(boxes[0].text.toStdString(), text);
    }

    void expectNone()
    {
        const std::vector<Seen> boxes = take();
        EXPECT_TRUE(boxes.empty()) << "unexpected message " << boxes.front().text.toStdString();
    }

private:
    void answer()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr)
            return;
        seen.push_back({box->windowTitle(), box->text()});
        if (box->button(QMessageBox::Yes) != nullptr) { // a question: Yes or No
            box->button(questionAnswer)->click();
            return;
        }
        EXPECT_EQ(box->buttons().size(), 1) << "an OK button only";
        box->button(QMessageBox::Ok)->click();
    }

    QTimer timer;
    std::vector<Seen> seen;
};
