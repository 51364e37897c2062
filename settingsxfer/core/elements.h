// The element table: the nineteen stored settings, their groups and the words that name groups.
// The command line, the engine and the windows all read this one table.
#pragma once

#include <vector>

#include "zx_gensys/qx_string.h"

namespace sx {

enum class Group {
    DeviceSettings,
    Layouts,
    OpticalConfigurations,
    Objectives,
    UserManager,
    NDAcquisition,
    GeneralSettings,
    CustomToolbar
};

struct ElementInfo {
    const wchar_t *name;
    Group group;
};

struct GroupInfo {
    Group group;
    const wchar_t *title; // the check box text
    const wchar_t *word;  // the command-line word, or null
    int boxId;            // the check box on every page
};

const int kElementCount = 19;
const int kGroupCount = 8;

// The elements in their fixed order ("all elements").
extern const ElementInfo kElements[kElementCount];
// The groups in the order the windows offer them.
extern const GroupInfo kGroups[kGroupCount];

// The members of a group, in table order.
std::vector<CQxStringW> GroupMembers(Group group);
// The group named by a command-line word ("ND", "General", "Layouts"), or null.
const GroupInfo *GroupByWord(const wchar_t *word);
// The group of an element name, or null for a name the table does not know.
const GroupInfo *GroupOfElement(const wchar_t *element);
const GroupInfo &InfoOf(Group group);
std::vector<CQxStringW> AllElements();

} // namespace sx
