#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class CVelvix;

// One value asked before an effect runs.
struct CEffectPrompt {
    enum class Kind {
        Integer,        // "Enter Value" with an integer
        Double,         // "Enter Value" with a double
        HalfOfPrevious, // integer whose default is half the value asked before it
        Choice,         // "Choose" with the entries; the value is the index
    };
    Kind kind;
    QString text;
    double defaultValue = 0, minimum = 0, maximum = 0;
    QStringList choices = {};
};

// A row of the effect table: everything the menus, the prompts and "Repeat
// Last Effect" need to know about one effect command.
struct CEffectCommand {
    enum class Needs { Anything, Selection, NoSelection };

    int id;
    QString menuText;
    QString name;   // shown after "Last Command:"
    QString menu;   // menu path, sub-menus separated by '/'
    std::vector<CEffectPrompt> prompts;
    Needs needs = Needs::Anything;
    bool resample = false;  // sized by the resample dialog instead of prompts
    std::function<void(CVelvix&, const std::vector<double>&)> run;
    // Whether `run` did its work (the library leaves a picture unchanged
    // when it cannot); none: it always does.
    std::function<bool(const CVelvix& result, const std::vector<double>&)> succeeded = nullptr;
};

// Ids of the commands that are not rows of the table.
enum : int {
    kRepeatLastEffectId = 263,
    kEncodeTextId = 252,
    kDecodeTextId = 253,
    kAutoCropId = 269,
    kResampleId = 272,
};

const std::vector<CEffectCommand>& EffectCommands();
const CEffectCommand* FindEffectCommand(int id);
