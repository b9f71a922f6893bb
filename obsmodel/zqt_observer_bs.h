// The values of an observer: the observer's name and agency, shared between files by
// the pair of texts.
#pragma once

#include <cstdint>
#include <string>

#include "zqt_classes_dbs.h"
#include "zqt_obs_intrf.h"

namespace zqt_observer_bs {

// Object type of an observer in the registry.
inline constexpr std::uint8_t ObserverObjType = 14;

class TZQS_Observer_bs : public zqt_classes_dbs::TZQS_Object,
                         public virtual zqt_obs_intrf::IZQS_Observer {
public:
    // ObjType 14, neither visible nor enabled.
    void InitFields() override;

    std::string GetObserverAgency() const override { return FObserverAgency; }
    std::string GetObserverName() const override { return FObserverName; }
    // The texts are stored without leading and trailing blanks.
    void SetObserverAgency(const std::string& Value) override;
    void SetObserverName(const std::string& Value) override;

protected:
    void ClearValues();

    std::string FObserverName;
    std::string FObserverAgency;
};

}  // namespace zqt_observer_bs
