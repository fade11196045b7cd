#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace camsim {

/// A camera model: what it can do and which firmware it ships with. Abilities differ between
/// models so that every optional control of the program's configuration pages shows on one model
/// and hides on another.
struct Model
{
    std::string name;             ///< e.g. "IPC-A"; used by --models
    std::int32_t deviceKind = 0;  ///< search record kind; the program lists 0, 3, 5 only
    std::string version;          ///< software version text
    int buildYear = 0, buildMonth = 0, buildDay = 0;
    std::string hardwareId;       ///< compared with upgrade packages
    bool answersCloudId = true;   ///< false: the search answer's cloud identifier is empty
    int analogChannels = 1;
    int digitalChannels = 0;
    // Every further ability lives in the default records (models.cpp), e.g. the function record
    // of command 9.
};

/// All models, in a fixed order. Never empty; names are unique.
const std::vector<Model>& models();
/// nullptr when unknown.
const Model* findModel(const std::string& name);

} // namespace camsim
