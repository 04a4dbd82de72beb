// The trash of the window tests: a folder of the test's own, every file put
// in it recorded, and a switch that makes it refuse as a trash on a network
// share would.
#pragma once

#include <string>
#include <vector>

#include "trash_can.h"

class CTestTrash : public TrashCan {
  public:
    // trashed and refuse may be null; both must outlive the trash.
    CTestTrash(std::string home, std::vector<std::string>* trashed, const bool* refuse = nullptr)
        : TrashCan(std::move(home)), m_trashed(trashed), m_refuse(refuse) {}

    HRESULT Put(const std::string& path, const TrashPlace& place, std::string* reason) override {
        if (m_trashed != nullptr) {
            m_trashed->push_back(path);
        }
        if (m_refuse != nullptr && *m_refuse) {
            *reason = "refused by the test";
            return E_FAIL;
        }
        return TrashCan::Put(path, place, reason);
    }

  private:
    std::vector<std::string>* m_trashed;
    const bool* m_refuse;
};
