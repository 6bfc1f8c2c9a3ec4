#pragma once
// The parameter list's rows taken from the loaded drive and the data store: every loaded
// parameter's definition and working values, read as numbers and marks; the last index the
// table shows, the table's views, the value format of the value rules and the changed mark of
// the language file. The only place where the report meets the store.
#include "report/ParamReport.h"

struct ProgramContext;

// The source keeps a reference to the context (its value format reads the store).
report::ParamReportSource paramReportSourceFromStore(const ProgramContext& context, bool changedOnly,
                                                     bool blindView, bool quickView);
