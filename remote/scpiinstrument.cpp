#include "scpiinstrument.h"

#include "analysis/analysiscore.h"
#include "remote/remotelink.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <algorithm>

std::vector<std::pair<int, CAnalysisCore*>> CScpiInstrument::Windows() {
    const std::vector<CAnalysisCore*> open = m_link->RemoteWindows();
    std::erase_if(m_windows, [&open](const Numbered& w) {
        return std::find(open.begin(), open.end(), w.core) == open.end() || w.core->GetId() != w.id;
    });
    for (CAnalysisCore* core : open)
        if (std::none_of(m_windows.begin(), m_windows.end(),
                         [core](const Numbered& w) { return w.core == core; }))
            m_windows.push_back({core, core->GetId(), m_nextNumber++});
    std::vector<std::pair<int, CAnalysisCore*>> out;
    out.reserve(m_windows.size());
    for (const Numbered& w : m_windows)
        out.emplace_back(w.number, w.core);
    return out;
}

int CScpiInstrument::NumberOf(CAnalysisCore* core) {
    for (const auto& [number, c] : Windows())
        if (c == core)
            return number;
    return 0;
}

CAnalysisCore* CScpiInstrument::WindowOf(int number) {
    for (const auto& [n, core] : Windows())
        if (n == number)
            return core;
    return nullptr;
}

namespace {
constexpr std::chrono::seconds kWrongCodeHold{1};

QByteArray digest(const QByteArray& salt, std::string_view code) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(salt);
    hash.addData(QByteArrayView(code.data(), static_cast<qsizetype>(code.size())));
    return hash.result();
}
} // namespace

QByteArray CScpiInstrument::StoredAccessCode(const QString& code) {
    QByteArray salt(16, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(salt.data()), 4);
    const QByteArray utf8 = code.toUtf8();
    return "sha256:" + salt.toHex() + ":" +
           digest(salt, std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())))
               .toHex();
}

void CScpiInstrument::SetAccessCode(const QByteArray& stored) {
    m_accessCode = stored;
    ++m_codeGeneration;
}

bool CScpiInstrument::AccessCodeTriesHeld() const {
    return m_wrongCodeAt && std::chrono::steady_clock::now() - *m_wrongCodeAt < kWrongCodeHold;
}

bool CScpiInstrument::AccessCodeMatches(std::string_view code) {
    const QList<QByteArray> parts = m_accessCode.split(':');
    bool match = false;
    if (parts.size() == 3 && parts[0] == "sha256") {
        const QByteArray expected = QByteArray::fromHex(parts[2]);
        const QByteArray given = digest(QByteArray::fromHex(parts[1]), code);
        // Every byte is compared, whatever differs first.
        unsigned char difference = expected.size() == given.size() ? 0 : 1;
        for (qsizetype i = 0; i < std::min(expected.size(), given.size()); ++i)
            difference |= static_cast<unsigned char>(expected[i] ^ given[i]);
        match = difference == 0 && !expected.isEmpty();
    }
    if (!match)
        m_wrongCodeAt = std::chrono::steady_clock::now();
    return match;
}
