#include "mux/FileDialog.h"

#include <QFile>
#include <QFileDialog>

std::optional<std::string> runFileDialog(QWidget* parent, const FileDialogRequest& request) {
    QFileDialog dialog(parent, QString::fromStdString(request.title));
    const bool open = request.kind == FileDialogRequest::Kind::Open;
    dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setLabelText(QFileDialog::Accept, QString::fromStdString(request.button));
    if (!request.folder.empty())
        dialog.setDirectory(QFile::decodeName(request.folder.c_str()));
    QStringList filters;
    for (const std::string& f : request.filters)
        filters << QString::fromStdString(f);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    // The toolkit's own dialog: a desktop's may ignore the confirm button's text.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty())
        return std::nullopt;
    return QFile::encodeName(chosen.first()).toStdString(); // the name as the file system has it
}
