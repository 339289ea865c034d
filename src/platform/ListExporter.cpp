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
    m_askFileName = [this](const QString& suggested) {
        return QFileDialog::getSaveFileName(
            &m_window, QStringLiteral("Liste speichern"), suggested,
            QStringLiteral("CSV-Dateien (*.csv);;Alle Dateien (*)"));
    };
    m_list.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&m_list, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { showMenu(at); });
    auto* save = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), &m_window);
    save->setContext(Qt::WindowShortcut);
    connect(save, &QShortcut::activated, this, [this] { saveAs(); });
}

void ListExporter::showMenu(const QPoint& at) {
    QMenu menu(&m_list);
    QAction* save = menu.addAction(QStringLiteral("Als CSV speichern ..."));
    save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    connect(save, &QAction::triggered, this, [this] { saveAs(); });
    connect(menu.addAction(QStringLiteral("Kopieren")), &QAction::triggered, this,
            [this] { copyToClipboard(); });
    if (m_extendMenu) {
        const QModelIndex index = m_list.indexAt(at);
        m_extendMenu(menu, index.isValid() ? index.row() : -1);
    }
    menu.exec(m_list.viewport()->mapToGlobal(at));
}

void ListExporter::saveAs() {
    const QString path = m_askFileName(m_suggestedName + QStringLiteral(".csv"));
    if (!path.isEmpty()) {
        saveCsv(path);
    }
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
