#pragma once

#include <QObject>
#include <QString>

#include <functional>

class ListControl;
class MessageBoxes;
class QMenu;
class QWidget;

// Export of one list: a context menu on the list ("Als CSV speichern ...", "Kopieren") and
// Strg+S in its window. The file is written whole or not at all; a failure is told in a box.
class ListExporter : public QObject {
    Q_OBJECT
public:
    // Asks for the file to write; an empty answer cancels. Unset: a file dialog that does not
    // hold the event loop.
    using FileNameAsker = std::function<QString(const QString& suggestedName)>;

    ListExporter(ListControl& list, QWidget& window, MessageBoxes& messages, QString suggestedName);

    // Asks for a file and writes the list to it.
    void saveAs();
    bool saveCsv(const QString& path);
    void copyToClipboard() const;

    void setFileNameAsker(FileNameAsker asker) { m_askFileName = std::move(asker); }
    // The list's context menu, so a window can add entries of its own for the row under the
    // pointer. Called with the menu and the row (-1: none) before it is shown.
    void setMenuExtender(std::function<void(QMenu& menu, int row)> extend) {
        m_extendMenu = std::move(extend);
    }

private:
    void showMenu(const QPoint& at);

    ListControl& m_list;
    QWidget& m_window;
    MessageBoxes& m_messages;
    QString m_suggestedName;
    FileNameAsker m_askFileName;
    std::function<void(QMenu& menu, int row)> m_extendMenu;
};
