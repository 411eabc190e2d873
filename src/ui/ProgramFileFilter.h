// SPDX-License-Identifier: MIT
#pragma once

#include <QSortFilterProxyModel>

namespace Lanyard {

/**
 * The file dialog's list for choosing a program: with programsOnly, folders and the files the
 * user may run, whatever their names (Linux programs have no extension); without, all that
 * the dialog's name filter lets through. The source model is the dialog's QFileSystemModel,
 * whose own permission filters cannot ask for "executable" alone.
 */
class ProgramFileFilter : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void setProgramsOnly(bool programsOnly);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    bool m_programsOnly = false;
};

} // namespace Lanyard
