// The keys a window kind reads from the profile, from its setting data file and
// from its CSV file, each with the range of values its code can use. Every
// reader passes what it read through its kind's table before the value is used
// (and so before it can be written back): a value outside the range is brought
// to the nearer end of it, or, for a key whose values name choices, replaced by
// the key's default.
#pragma once

#include "platform/cstring.h"

#include <cstdint>
#include <initializer_list>
#include <vector>

struct KeyRange {
    enum Source : unsigned { Profile = 1, Setting = 2, Csv = 4, All = 7 };
    const char* key;
    int low;
    int high;
    int fallback;
    // Out of range: clamped to [low, high], or else the fallback.
    bool clamp;
    unsigned sources;
};

// A key whose value is text: at most maxLength bytes of its form. A value
// that is longer or holds a byte outside the form is replaced by the fallback.
struct TextKeyRange {
    enum Form {
        // A serial port's name or device path: letters, digits and / . _ : -,
        // never empty.
        PortName,
        // Text shown to the user: any byte but a control character.
        Text,
        // A file or folder path: any byte but a control character.
        Path,
    };
    const char* key;
    int maxLength;
    Form form;
    const char* fallback;
    unsigned sources;

    // Whether value is of this key's length and form.
    bool Accepts(const CString& value) const;
};

class CKeyTable {
public:
    // Keys not found here are looked up in base (the keys every kind reads).
    CKeyTable(std::initializer_list<KeyRange> keys, const CKeyTable* base = nullptr);
    CKeyTable(std::initializer_list<KeyRange> keys, std::initializer_list<TextKeyRange> texts,
              const CKeyTable* base = nullptr);

    // The range of a key (exact, case-sensitive name), or null.
    const KeyRange* Find(const char* key) const;
    // The value brought into the key's range. A key the table does not list
    // is a fault of the caller: its value comes back unchanged.
    int Checked(const char* key, std::int64_t value) const;
    // The key's profile value in the section (the default when it is
    // missing), in range.
    int ProfileInt(const char* section, const char* key, int fallback) const;
    // The key's value in a section of the setting store into field, in range;
    // a missing or unreadable value leaves the field (brought into range).
    // 1 when the value was read.
    int SettingInt(const char* section, const char* key, int* field) const;
    // Every key of the table and its base, the kind's own first.
    std::vector<KeyRange> Keys() const;

    // The same for the keys whose values are text.
    const TextKeyRange* FindText(const char* key) const;
    CString CheckedText(const char* key, const CString& value) const;
    CString ProfileText(const char* section, const char* key) const;
    int SettingText(const char* section, const char* key, CString* field) const;
    std::vector<TextKeyRange> TextKeys() const;

private:
    std::vector<KeyRange> m_keys;
    std::vector<TextKeyRange> m_texts;
    const CKeyTable* m_base;
};

// The keys of the analysis core that every kind reads (the common profile
// keys, the TORVEL_CORE section of a setting data file).
const CKeyTable& CommonKeyTable();
