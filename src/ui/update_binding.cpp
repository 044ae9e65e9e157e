#include "ui/update_binding.h"

#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

#include "common/number_text.h"
#include "common/program_paths.h"
#include "ui/frm_main.h"

namespace quendrel {

namespace {

QString Trimmed(const QLineEdit* box)
{
    return TrimSpaces(box->text());
}

}  // namespace

TakenInputs TakeUpdateInputs(FrmMain& w, const QDateTime& now, const QString& programDirectory)
{
    TakenInputs taken;
    UpdateInputs& in = taken.inputs;
    // The time first: the page and the report show when the cycle began.
    in.dateText = CycleDateText(now);
    in.timeText = CycleTimeText(now);

    const PortVerdict port = TakePort(w.txtPort->text());
    if (port.resetText)
        w.txtPort->setText(QString::number(kDefaultFtpPort));
    in.port = port.port;
    taken.failure = port.failure;

    in.directlyConnected = w.optConType[0]->isChecked();
    in.ipWebPage = TrimSpaces(w.cmbIPWebPage->currentText());
    in.startString = Trimmed(w.txtStartString);
    in.endString = Trimmed(w.txtEndString);
    in.defaultPage = w.optWebpageType[0]->isChecked();
    in.templatePath = Trimmed(w.txtSourceFilepath);
    in.destFilename = Trimmed(w.txtDestFilename);
    in.server = Trimmed(w.txtServer);
    in.remotePath = Trimmed(w.txtRemotePath);
    in.username = Trimmed(w.txtUsername);
    in.password = Trimmed(w.txtPassword);
    in.active = w.optPasAct[0]->isChecked();
    in.programDirectory = AddBackslash(programDirectory);
    return taken;
}

}  // namespace quendrel
