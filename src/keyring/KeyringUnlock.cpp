#include "keyring/KeyringUnlock.h"

#include "base/Encoders.h"
#include "translate/Messages.h"

TKeyringUnlock DecideUnlock(const TKeyringPassword::TResult& read, const std::string& passwordHash) {
    using TStatus = TKeyringPassword::TStatus;
    TKeyringUnlock unlock;
    switch (read.Status) {
    case TStatus::Found:
        // The digest is compared exactly as the prompt compares a typed password.
        if (!passwordHash.empty() && Md5Hex(read.Password) == passwordHash) {
            unlock.Unlocked = true;
            unlock.Note = {2200, {}};
        } else {
            unlock.RemoveStored = true;
            unlock.Note = {2204, {}};
        }
        break;
    case TStatus::NotFound:
        unlock.Note = {2201, {}};
        break;
    case TStatus::TimedOut:
        // A locked keyring had the desktop's unlock prompt up for the longer bound.
        if (read.Locked)
            unlock.Note = {2242, std::to_string((read.BoundMs + 999) / 1000)};
        else
            unlock.Note = {2203, std::to_string(read.BoundMs)};
        break;
    case TStatus::Done:
    case TStatus::Failed:
        unlock.Note = {2202, read.Reason};
        break;
    }
    return unlock;
}

TKeyringNote NoteOfChange(const TKeyringPassword::TResult& answer, bool removing) {
    using TStatus = TKeyringPassword::TStatus;
    switch (answer.Status) {
    case TStatus::Done:
    case TStatus::Found:
        return {removing ? 2208 : 2207, {}};
    case TStatus::NotFound:
        // Nothing was stored: removing it had nothing to do.
        if (removing)
            return {};
        break;
    case TStatus::TimedOut:
        return {removing ? 2206 : 2205, LoadStr(2209)};
    case TStatus::Failed:
        break;
    }
    return {removing ? 2206 : 2205, answer.Reason};
}
