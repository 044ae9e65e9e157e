#pragma once

#include <QString>

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace quendrel {

class ProgramState;
class SettingsModel;

// The protocol choice's items, each with its stored name as item data.
void FillProtocolChoice(QComboBox& combo);

// The FTP Server tab's rules for the protocol: a port box that held the
// old protocol's port (or nothing) gets the new one's; active and passive
// are for the FTP kinds only.
void FollowProtocol(QComboBox& protocol, QLineEdit& port, QRadioButton& active, QRadioButton& passive);

// "Trust this server" is there while the last update or test met a key
// it could not trust, until the server, port or protocol changes; it asks
// before the key is stored, showing the key for the user to compare (and
// warning when it would replace a trusted one).
void OfferTrust(QPushButton& trust, ProgramState& state, SettingsModel& settings);

}  // namespace quendrel
