#include "ui/clipboard_bridge.h"

#include <QGuiApplication>
#include <QMetaObject>
#include <QMimeData>
#include <QTimer>

#include "config/log.h"

namespace corvane {
namespace {

// The metafile's MIME types: the registered one, and the one older programs look for.
constexpr const char* kMetafileTypes[] = {"image/emf", "image/x-emf"};

bool OwnedByUs(QClipboard::Mode mode) {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    return mode == QClipboard::Selection ? clipboard->ownsSelection() : clipboard->ownsClipboard();
}

}  // namespace

ClipboardBridge::ClipboardBridge(SessionCommands& commands, QObject* parent)
    : QObject(parent), m_commands(commands), m_primary(commands.Facts().clipboardPrimary) {
    if (QGuiApplication::platformName() == "xcb") {
        m_reader = std::make_unique<SelectionReader>();
        if (!m_reader->Valid()) m_reader.reset();
    }
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive) {
            Activated();
        } else {
            Deactivated();
        }
    });
    connect(QGuiApplication::clipboard(), &QClipboard::changed, this, [this](QClipboard::Mode mode) { NoteChange(mode); });
    // The session's window may open in an application that is active already.
    if (QGuiApplication::applicationState() == Qt::ApplicationActive) {
        QTimer::singleShot(0, this, [this] {
            if (QGuiApplication::applicationState() == Qt::ApplicationActive && !m_active) Activated();
        });
    }
}

// The reader thread ends before this object does, so no answer is left to arrive.
ClipboardBridge::~ClipboardBridge() { m_reader.reset(); }

void ClipboardBridge::NoteChange(QClipboard::Mode mode) {
    if (mode == QClipboard::FindBuffer || OwnedByUs(mode)) return;
    m_lastChanged = mode;
}

void ClipboardBridge::Activated() {
    if (m_active) return;
    m_active = true;
    const uint64_t generation = ++m_generation;
    if (!m_commands.Facts().clipboardExchange) return;
    const QClipboard::Mode mode = m_primary && m_lastChanged == QClipboard::Selection ? QClipboard::Selection
                                                                                      : QClipboard::Clipboard;
    // What we put there ourselves is not news to the session.
    if (OwnedByUs(mode)) {
        m_commands.ClipboardActivated(std::nullopt);
        return;
    }
    ++m_readsStarted;
    if (m_reader) {
        m_reader->Read(mode == QClipboard::Selection ? SelectionReader::Selection::Primary
                                                     : SelectionReader::Selection::Clipboard,
                       [this, generation](std::optional<std::string> text) {
                           QMetaObject::invokeMethod(
                               this, [this, generation, text = std::move(text)]() mutable {
                                   ReadFinished(generation, std::move(text));
                               },
                               Qt::QueuedConnection);
                       });
        return;
    }
    // Without X11 the toolkit's clipboard is all there is.
    const QMimeData* data = QGuiApplication::clipboard()->mimeData(mode);
    ReadFinished(generation, data != nullptr && data->hasText() ? std::optional(data->text().toStdString())
                                                                : std::nullopt);
}

void ClipboardBridge::ReadFinished(uint64_t generation, std::optional<std::string> text) {
    if (generation != m_generation || !m_active) {
        DebugPrint(10, "Clipboard: the local text came after the windows lost activation; not sent\n");
        return;
    }
    m_commands.ClipboardActivated(text);
}

void ClipboardBridge::Deactivated() {
    if (!m_active) return;
    m_active = false;
    ++m_generation;
    if (!m_commands.Facts().clipboardExchange) return;
    m_commands.ClipboardDeactivated();
}

void ClipboardBridge::PutServerText(const std::string& text) {
    const QString shown = QString::fromStdString(text);
    auto* data = new QMimeData;
    data->setText(shown);
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
    if (m_primary && QGuiApplication::clipboard()->supportsSelection()) {
        auto* selection = new QMimeData;
        selection->setText(shown);
        QGuiApplication::clipboard()->setMimeData(selection, QClipboard::Selection);
    }
    DebugPrint(10, "Clipboard: %zu bytes of the server's text are on the local clipboard\n", text.size());
    m_commands.ClipboardPlaced(text);
}

void ClipboardBridge::PutServerMetafile(const std::vector<uint8_t>& bits) {
    const QByteArray bytes(reinterpret_cast<const char*>(bits.data()), static_cast<qsizetype>(bits.size()));
    auto* data = new QMimeData;
    for (const char* type : kMetafileTypes) data->setData(type, bytes);
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
    DebugPrint(10, "Clipboard: a metafile of %zu bytes from the server is on the local clipboard\n", bits.size());
}

}  // namespace corvane
