#pragma once

#include <QString>

#include <functional>
#include <optional>
#include <type_traits>
#include <vector>

#include "effect_table.h"
#include "image/pixel_interface.h"

class CVelvixBuffer;
class QWidget;

// Asks the values of an effect; the program uses dialogs, the tests answer
// directly.
class CEffectPrompter {
public:
    virtual ~CEffectPrompter() = default;
    // The values in the order of the command's prompts (for resampling: new
    // width, new height, width ratio, height ratio, filter), or nothing when
    // the user cancelled.
    virtual std::optional<std::vector<double>> AskValues(const CEffectCommand& command, int width, int height) = 0;
};

// The dialogs: "Enter Value" per prompt, "Choose" for a choice, "Resample".
class CDialogPrompter : public CEffectPrompter {
public:
    explicit CDialogPrompter(QWidget* parent) : m_pParent(parent) {}
    std::optional<std::vector<double>> AskValues(const CEffectCommand& command, int width, int height) override;

private:
    QWidget* m_pParent;
};

// The last repeatable effect of one view.
struct CLastEffect {
    int id = 0;
    QString name;

    bool Exists() const { return id != 0; }
    void Clear() { *this = CLastEffect(); }
    // "&Last Command: "<name>"\t~"
    QString MenuText() const;
};

// Runs effect commands on an image window's undo ring: values (asked, or
// remembered when repeating), one undo step, the work off the user-interface
// thread, and the selection copied out and back.
class CEffectRunner {
public:
    // Values entered last for a command in this run of the program (shared by
    // every window); empty when never asked.
    static std::vector<double> RememberedValues(int id);
    static void ForgetRememberedValues();

    // Why Run did nothing, when that is to be told.
    enum class EFailure {
        None,      // done, cancelled, or no image
        Failed,    // the library refused the size, or the memory ran short
        NoThread,  // the system refused to start the worker (too many tasks)
        TooSmall,  // a repeated resample would leave a side under one pixel
    };

    // False when a prompt was cancelled, there is no image, the repeated
    // size is too small or the effect failed (`*failure` says which); in each
    // case nothing changed: no undo step, no last command. selection may be
    // null. `starting` runs once the values are known, just before the work
    // (the timing starts there).
    static bool Run(const CEffectCommand& command, CVelvixBuffer& ring, const VxRect* selection, bool repeating,
                    CEffectPrompter& prompter, CLastEffect& last, QWidget* busyParent = nullptr,
                    const std::function<void()>& starting = {}, EFailure* failure = nullptr);

    // Runs an operation on the image or the selection as one undo step. An
    // operation may return false (refused): then the ring is left exactly as
    // it was, and so it is when the result is no picture. `*failure` tells
    // a failure apart from a refused worker thread.
    template <typename Operation>
    static bool Apply(CVelvixBuffer& ring, const VxRect* selection, QWidget* busyParent, Operation operation,
                      EFailure* failure = nullptr);

private:
    static bool ApplyFunction(CVelvixBuffer& ring, const VxRect* selection, QWidget* busyParent,
                              const std::function<bool(CVelvix&)>& operation, EFailure* failure);
    static std::optional<std::vector<double>> Values(const CEffectCommand& command, CVelvixBuffer& ring,
                                                     bool repeating, CEffectPrompter& prompter);
};

template <typename Operation>
bool CEffectRunner::Apply(CVelvixBuffer& ring, const VxRect* selection, QWidget* busyParent, Operation operation,
                          EFailure* failure)
{
    return ApplyFunction(
        ring, selection, busyParent,
        [&operation](CVelvix& image) {
            if constexpr (std::is_void_v<std::invoke_result_t<Operation&, CVelvix&>>) {
                operation(image);
                return true;
            } else {
                return bool(operation(image));
            }
        },
        failure);
}
