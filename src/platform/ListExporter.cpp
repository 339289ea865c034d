#include "platform/ListExporter.h"

#include "platform/ListControl.h"
#include "platform/ListExport.h"
#include "platform/MessageBoxes.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QMenu>
#include <QSaveFile>
#include <QShortcut>

ListExporter::ListExporter(ListControl& list, QWidget& window, MessageBoxes& messages,
                           QString suggestedName)
    : QObject(&window)
    , m_list(list)
    , m_window(window)
    , m_messages(messages)
    , m_suggestedName(std::move(suggestedName)) {
    m_list.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&m_list, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { showMenu(at); });
    auto* save = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), &m_window);
    save->setContext(Qt::WindowShortcut);
    connect(save, &QShortcut::activated, this, [this] { saveAs(); });
}

void ListExporter::showMenu(const QPoint& at) {
    // Opened without a nested event loop: a menu that waited in exec() would hold a server
    // call that let it open (and with it every monitor) until it closed.
    auto* menu = new QMenu(&m_list);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* save = menu->addAction(QStringLiteral("Als CSV speichern ..."));
    save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    connect(save, &QAction::triggered, this, [this] { saveAs(); });
    connect(menu->addAction(QStringLiteral("Kopieren")), &QAction::triggered, this,
            [this] { copyToClipboard(); });
    if (m_extendMenu) {
        const QModelIndex index = m_list.indexAt(at);
        m_extendMenu(*menu, index.isValid() ? index.row() : -1);
    }
    menu->popup(m_list.viewport()->mapToGlobal(at));
}

void ListExporter::saveAs() {
    const QString suggested = m_suggestedName + QStringLiteral(".csv");
    if (m_askFileName) {
        const QString path = m_askFileName(suggested);
        if (!path.isEmpty()) {
            saveCsv(path);
        }
        return;
    }
    // Window-modal and without a nested event loop, like the menu.
    auto* dialog = new QFileDialog(&m_window, QStringLiteral("Liste speichern"), suggested,
                                   QStringLiteral("CSV-Dateien (*.csv);;Alle Dateien (*)"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) {
        if (!path.isEmpty()) {
            saveCsv(path);
        }
    });
    dialog->open();
}

bool ListExporter::saveCsv(const QString& path) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(ListExport::csv(m_list.headers(), m_list.cells()));
        if (file.commit()) {
            return true;
        }
    }
    m_messages.show(QStringLiteral("Die Liste konnte nicht gespeichert werden:\n%1\n%2")
                        .arg(path, file.errorString()),
                    m_window.windowTitle(), MsgButtons::Ok, MsgIcon::Critical);
    return false;
}

void ListExporter::copyToClipboard() const {
    QApplication::clipboard()->setText(ListExport::tabSeparated(m_list.headers(), m_list.cells()));
}
