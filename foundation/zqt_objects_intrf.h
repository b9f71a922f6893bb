// Interfaces of the program's objects and the event types they carry.
//
// Every interface is an abstract class with a virtual destructor; objects are shared
// through std::shared_ptr. The interfaces form one chain (IZQS_BaseObject, then the
// interfaces of persistent objects built on it); each link derives VIRTUALLY from the one
// before, so that a class that implements an extended interface and also derives from a
// base class implementing IZQS_BaseObject holds only one IZQS_BaseObject, whose methods
// the base class already provides.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zqt_objects_intrf {

// ---------------------------------------------------------------------------------------
// Events and the log list

// Status text for the user. Kind: 0 status text, 1 "Reading ...", 2 "Storing...".
using TZQSMessageEvent = std::function<void(const std::string& Text, std::uint8_t Kind)>;

// Progress of a long operation. Sender identifies the reporting object (it may be compared
// with a known object, never owned or freed); Name is its log name; Elapsed is the time
// since the operation started, in days; Percent is 0..100. A handler that sets Cancel asks
// the operation to stop (it then raises "Cancelled by user").
using TZQSProgressEvent = std::function<void(const void* Sender, const std::string& Name,
                                             double Elapsed, std::int32_t Percent,
                                             bool& Cancel)>;

// The run's log: a list of lines that the application owns and hands to its objects,
// which only append to it. Empty pointer: no logging.
using TZQSLogList = std::shared_ptr<std::vector<std::string>>;

// ---------------------------------------------------------------------------------------
// IZQS_BaseObject: events, messages, progress and the cancel test of every object.

class IZQS_BaseObject {
public:
    virtual ~IZQS_BaseObject() = default;

    virtual TZQSProgressEvent GetOnProgress() const = 0;
    virtual void SetOnProgress(TZQSProgressEvent Value) = 0;
    virtual TZQSMessageEvent GetOnMessage() const = 0;
    virtual void SetOnMessage(TZQSMessageEvent Value) = 0;
    // Passes a status text to the message event, when one is set.
    virtual void DoMessage(const std::string& Text, std::uint8_t Kind) = 0;
    // Starts counting progress over Total steps and reports 0 %.
    virtual void ProgressStart(std::int64_t Total) = 0;
    // Raises "Cancelled by user" when the global cancel flag is set.
    virtual void CheckCancelled() = 0;
    // One step further; reports when the percentage changes.
    virtual void ProgressInc() = 0;

protected:
    IZQS_BaseObject() = default;
    IZQS_BaseObject(const IZQS_BaseObject&) = default;
    IZQS_BaseObject& operator=(const IZQS_BaseObject&) = default;
};

using IZQS_BaseObjectPtr = std::shared_ptr<IZQS_BaseObject>;

}  // namespace zqt_objects_intrf
