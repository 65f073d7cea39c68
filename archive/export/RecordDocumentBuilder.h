// The readable document of a patient's record (Patientenakte.pdf) as
// content: the master data as the patient information shows it, a note on
// where and when it was exported, then one section per table that holds
// rows of the patient, in the order of the side's databases, each row with
// its column names and German values (GermanValueText); binary values are
// named as attachments with their size.
#pragma once

#include "archive/export/AttachmentNames.h"
#include "archive/export/ExportContext.h"
#include "archive/export/PatientRecord.h"
#include "core/RecordDocument.h"

RecordDocument BuildRecordDocument(const PatientRecord& record, const ExportContext& context,
                                   const AttachmentNames& names);
