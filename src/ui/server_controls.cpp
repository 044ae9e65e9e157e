#include "ui/server_controls.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

#include <memory>

#include "common/program_state.h"
#include "settings/settings_model.h"
#include "update/transfer_protocol.h"

namespace quendrel {

namespace {

TransferProtocol ProtocolAt(const QComboBox& combo, int index)
{
    return ProtocolFromText(combo.itemData(index).toString());
}

void AskToTrust(QPushButton& trust, ProgramState& state, SettingsModel& settings)
{
    const QString key = state.OfferedServerKey();
    const QString server = settings.Text(Setting::Server);
    const QString trusted = settings.Text(Setting::ServerKey);
    // A key other than the trusted one may be someone else's server.
    const QString warning = trusted.isEmpty() ? QString()
                                              : QStringLiteral("It is NOT the key trusted so far, %1: the server's key "
                                                               "has changed, or another server answers in its place. ")
                                                    .arg(trusted);
    auto* question = new QMessageBox(QMessageBox::Question, QStringLiteral("Trust this server"),
                                     QStringLiteral("The server %1 showed this key:\n\n%2\n\n%3Compare it with the "
                                                    "one your provider gives you. Trust this server, and accept no "
                                                    "other key from it from now on?")
                                         .arg(server, key, warning),
                                     QMessageBox::Yes | QMessageBox::No, trust.window());
    question->setObjectName(QStringLiteral("trustQuestion"));
    question->setAttribute(Qt::WA_DeleteOnClose);
    question->setDefaultButton(QMessageBox::No);
    QObject::connect(question, &QMessageBox::finished, &settings, [&settings, &state, key](int answer) {
        if (answer != QMessageBox::Yes)
            return;
        settings.Set(Setting::ServerKey, key);
        // Still the key that was asked about: trusting it ends the offer.
        if (state.OfferedServerKey() == key)
            state.SetOfferedServerKey(QString());
    });
    question->open();
}

}  // namespace

void FillProtocolChoice(QComboBox& combo)
{
    combo.addItem(QStringLiteral("FTP"), ProtocolText(TransferProtocol::Ftp));
    combo.addItem(QStringLiteral("FTP over TLS (explicit)"), ProtocolText(TransferProtocol::FtpExplicitTls));
    combo.addItem(QStringLiteral("FTP over TLS (implicit)"), ProtocolText(TransferProtocol::FtpImplicitTls));
    combo.addItem(QStringLiteral("SFTP (SSH)"), ProtocolText(TransferProtocol::Sftp));
}

void FollowProtocol(QComboBox& protocol, QLineEdit& port, QRadioButton& active, QRadioButton& passive)
{
    // The protocol shown, and the one before the latest change (a pick
    // changes the index before it is reported as activated).
    auto shown = std::make_shared<TransferProtocol>(ProtocolAt(protocol, protocol.currentIndex()));
    auto before = std::make_shared<TransferProtocol>(*shown);
    const auto align = [&active, &passive](TransferProtocol now) {
        const bool ftpKind = now != TransferProtocol::Sftp;
        active.setEnabled(ftpKind);
        passive.setEnabled(ftpKind);
    };
    align(*shown);
    // Only the user's pick moves the port: settings read from a file keep theirs.
    QObject::connect(&protocol, &QComboBox::activated, &port, [&protocol, &port, before](int index) {
        const QString text = port.text().trimmed();
        if (text.isEmpty() || text == QString::number(DefaultPort(*before)))
            port.setText(QString::number(DefaultPort(ProtocolAt(protocol, index))));
    });
    QObject::connect(&protocol, &QComboBox::currentIndexChanged, &port, [&protocol, shown, before, align](int index) {
        *before = *shown;
        *shown = ProtocolAt(protocol, index);
        align(*shown);
    });
}

void OfferTrust(QPushButton& trust, ProgramState& state, SettingsModel& settings)
{
    const auto show = [&trust](const QString& key) {
        trust.setEnabled(!key.isEmpty());
        trust.setToolTip(key.isEmpty() ? QStringLiteral("Offered when a server shows a key that cannot be verified")
                                       : QStringLiteral("Trust the key ") + key);
    };
    show(state.OfferedServerKey());
    QObject::connect(&state, &ProgramState::OfferedServerKeyChanged, &trust, show);
    // The key belongs to the server it came from: another server, port or
    // protocol has not shown it.
    QObject::connect(&settings, &SettingsModel::Changed, &trust, [&state](Setting changed) {
        if (changed == Setting::Server || changed == Setting::Port || changed == Setting::Protocol)
            state.SetOfferedServerKey(QString());
    });
    QObject::connect(&trust, &QPushButton::clicked, &state,
                     [&trust, &state, &settings] { AskToTrust(trust, state, settings); });
}

}  // namespace quendrel
