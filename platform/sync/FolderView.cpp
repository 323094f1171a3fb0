#include "FolderView.h"

#include <algorithm>

namespace jw::sync {

namespace {

FolderFiles listOtherDevicesFiles(EngineContext& context, const CloudListing& devices);
std::vector<BaselineRef> presentBaselines(EngineContext& context,
                                          const Registrations& registrations);

}  // namespace

FolderView lookAtFolder(EngineContext& context, const CloudListing& devices) {
    FolderView view;
    view.registrations = readRegistrations(context, devices);
    view.others = listOtherDevicesFiles(context, devices);
    view.baselines = presentBaselines(context, view.registrations);
    return view;
}

Registrations readRegistrations(EngineContext& context, const CloudListing& devices) {
    Registrations out;
    out.complete = devices.status == CloudStatus::ok;
    for (const auto& entry : devices.entries) {
        if (entry.kind != CloudEntryKind::directory || !CloudLayout::isDeviceName(entry.name) ||
            entry.name == context.device()) {
            continue;  // reported by listOtherDevicesFiles
        }
        const auto path = context.layout.registrationFile(entry.name);
        const auto file = context.fs->read(path, PersistentStoreEnsemble::kMaxSmallFileBytes);
        if (file.status == CloudStatus::unavailable) {
            out.complete = false;
            continue;
        }
        if (file.status != CloudStatus::ok) {
            if (file.status != CloudStatus::notFound) {
                context.reportStray(path, describe(file.status));
            }
            continue;
        }
        try {
            auto registration = DeviceRegistration::fromJson(file.contents);
            if (registration.device != entry.name) {
                context.reportStray(path, "it registers another device");
                continue;
            }
            out.byDevice.emplace(entry.name, std::move(registration));
        } catch (const RefusedFile& e) {
            context.reportStray(path, e.what());
        }
    }
    return out;
}

std::set<std::string> otherDevices(EngineContext& context, const FolderView& folder) {
    std::set<std::string> out;
    for (const auto& [other, files] : folder.others.byDevice) {
        out.insert(other);
    }
    for (const auto& b : folder.baselines) {
        for (const auto& [other, n] : b.info.coverage) {
            out.insert(other);
        }
    }
    out.erase(context.device());
    return out;
}

namespace {

FolderFiles listOtherDevicesFiles(EngineContext& context, const CloudListing& devices) {
    FolderFiles out;
    for (const auto& entry : devices.entries) {
        const auto path = context.layout.devicesFolder() + "/" + entry.name;
        if (entry.kind != CloudEntryKind::directory || !CloudLayout::isDeviceName(entry.name)) {
            context.reportStray(path, "not a device's folder");
            continue;
        }
        if (entry.name == context.device()) {
            continue;
        }
        auto& files = out.byDevice[entry.name];
        const auto folder = context.layout.changesFolder(entry.name);
        const auto listing = context.fs->list(folder);
        if (listing.status != CloudStatus::ok) {
            if (listing.status == CloudStatus::invalid) {
                context.reportStray(folder, "not a folder");
            } else if (listing.status != CloudStatus::notFound) {
                out.unlisted.insert(entry.name);
            }
            continue;
        }
        for (const auto& file : listing.entries) {
            const auto filePath = folder + "/" + file.name;
            const auto seq = CloudLayout::changeFileSequence(file.name);
            if (!seq) {
                context.reportStray(filePath, "not the name of a change file");
            } else if (file.kind != CloudEntryKind::file) {
                context.reportStray(filePath, "not a file");
            } else {
                files.push_back(*seq);
            }
        }
        std::sort(files.begin(), files.end());
    }
    return out;
}

// The baselines described by their writers that this device sees in the folder.
std::vector<BaselineRef> presentBaselines(EngineContext& context,
                                          const Registrations& registrations) {
    std::vector<BaselineRef> out;
    auto collect = [&](const std::string& writer, const std::vector<BaselineInfo>& described) {
        if (described.empty()) {
            return;
        }
        const auto listing = context.fs->list(context.layout.baselinesFolder(writer));
        if (listing.status != CloudStatus::ok) {
            return;
        }
        for (const auto& b : described) {
            const auto name = CloudLayout::baselineFileName(b.sequence);
            const bool listed = std::any_of(
                listing.entries.begin(), listing.entries.end(), [&](const CloudEntry& entry) {
                    return entry.name == name && entry.kind == CloudEntryKind::file;
                });
            if (listed) {
                out.push_back({writer, b});
            }
        }
    };
    for (const auto& [writer, registration] : registrations.byDevice) {
        collect(writer, registration.baselines);
    }
    collect(context.device(), context.ownBaselines());
    return out;
}

// The other devices this device has something to take in from: those with a folder here,
// and those a baseline here holds files of.

}  // namespace

}  // namespace jw::sync
