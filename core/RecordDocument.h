// The readable document of a patient's record as content without layout:
// what the export puts into "Patientenakte.pdf". The engine fills it; a
// renderer (DocumentRenderer) lays it out on A4 pages. Text is code page
// 1252; a value may hold line ends, which stay line ends in the document.
#pragma once

#include <string>
#include <vector>

struct DocumentField {
    std::string label;
    std::string value;
};

// One row of a table: its columns in order.
struct DocumentEntry {
    std::string heading;  // "Eintrag 2 von 5"
    std::vector<DocumentField> fields;
};

// One table that holds rows of the patient.
struct DocumentSection {
    std::string heading;  // "Velunda.termine"
    std::string caption;  // "3 Einträge"
    std::vector<DocumentEntry> entries;
};

struct RecordDocument {
    std::string title;                      // on the first page, and the PDF's title
    std::vector<DocumentField> masterData;  // name, address, date of birth
    std::vector<std::string> notes;         // paragraphs between master data and tables
    std::vector<DocumentSection> sections;  // in the order of the database set
    // Every page's foot: the footer on the left, the page label on the
    // right with "%1" standing for the page and "%2" for the page count.
    std::string footer;
    std::string pageLabel;
    std::string creator;  // the program and its version, for the PDF's properties
};
