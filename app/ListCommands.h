// The commands on the rows of the patient list: F2 ticks every row, F3
// unticks every row, F5 (and a double click) shows the highlighted patient.
#pragma once

#include <string>

class CommandHold;
class DatabaseSet;
class IListView;
class IMainView;

class ListCommands {
  public:
    ListCommands(DatabaseSet& set, const CommandHold& hold) : set_(set), hold_(hold) {}

    // F2 and F3; then the focus back to the list.
    void OnSelectAll(IMainView& view);
    void OnSelectNone(IMainView& view);
    // F5: the patient information of the highlighted row (not a ticked one)
    // from the databases of the view; asks to highlight one when none is.
    // Refuses, saying so, while a run or a list fill is in progress.
    void OnPatientInfo(IMainView& view);

  private:
    DatabaseSet& set_;
    const CommandHold& hold_;
};

// The ids of the ticked rows in list order, joined by "," without blanks
// ("12,40,7"), and how many there are.
std::string TickedPidList(const IListView& list, int& count);
