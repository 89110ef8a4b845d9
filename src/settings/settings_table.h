#pragma once
// Every key of the settings file, section by section: the one table through which
// AppSettings is read from the file and written to it.
#include <span>
#include "settings/setting_fields.h"

// The sections read or written on their own as well as with the whole file.
extern const SettingSection HotKeysSection;
extern const SettingSection ListeningSection;
extern const SettingSection ViewSection;
extern const SettingSection NotesSection;

// The whole table, in the order a new file gains its sections and each section its keys.
std::span<const SettingField> SettingsTable();
// The fields of one section.
std::span<const SettingField> SectionFields(const SettingSection& section);
