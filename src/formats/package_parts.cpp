#include "formats/package_parts.h"

#include <deque>
#include <vector>

#include "formats/xml_start_tags.h"

namespace kovrisk::package {

namespace {

constexpr char kContentTypesPart[] = "[Content_Types].xml";
constexpr char kPackageRelationships[] = "_rels/.rels";

}  // namespace

bool workbookPartLocksStructure(std::string_view workbookXml) {
    XmlStartTags tags(workbookXml.substr(0, kPartReadLimit));
    XmlStartTag tag;
    while (tags.next(tag)) {
        if (tag.localName != "workbookProtection")
            continue;
        if (const std::string_view* locked = tag.attribute("lockStructure");
            locked != nullptr && (*locked == "1" || *locked == "true")) {
            return true;
        }
    }
    return false;
}

std::string relationshipTarget(std::string_view source, std::string_view target) {
    std::vector<std::string_view> steps;
    const auto addSteps = [&steps](std::string_view path) {
        while (!path.empty()) {
            const std::size_t slash = path.find('/');
            const std::string_view step = path.substr(0, slash);
            path = slash == std::string_view::npos ? std::string_view{} : path.substr(slash + 1);
            if (step.empty() || step == ".")
                continue;
            if (step == "..") {
                if (steps.empty())
                    return false;
                steps.pop_back();
            } else {
                steps.push_back(step);
            }
        }
        return true;
    };
    // A target with a fragment or query names the part before it.
    target = target.substr(0, target.find_first_of("#?"));
    if (!target.starts_with('/')) {
        const std::size_t folderEnd = source.rfind('/');
        if (folderEnd != std::string_view::npos && !addSteps(source.substr(0, folderEnd)))
            return {};
    }
    if (!addSteps(target))
        return {};
    std::string out;
    for (const std::string_view step : steps) {
        if (!out.empty())
            out += '/';
        out += step;
    }
    return out;
}

std::string relationshipPartOf(std::string_view part) {
    const std::size_t slash = part.rfind('/');
    const std::string_view folder =
        slash == std::string_view::npos ? std::string_view{} : part.substr(0, slash + 1);
    const std::string_view name = slash == std::string_view::npos ? part : part.substr(slash + 1);
    return std::string(folder) + "_rels/" + std::string(name) + ".rels";
}

std::set<std::string> declaredParts(
    const std::function<std::optional<std::string>(const std::string&)>& readPart) {
    std::set<std::string> declared;
    XmlStartTag tag;
    if (const std::optional<std::string> types = readPart(kContentTypesPart)) {
        declared.insert(kContentTypesPart);
        XmlStartTags tags(*types);
        while (tags.next(tag)) {
            const std::string_view* name = tag.attribute("PartName");
            if (tag.localName == "Override" && name != nullptr) {
                if (std::string part = relationshipTarget({}, *name); !part.empty())
                    declared.insert(std::move(part));
            }
        }
    }
    // The parts reached by relationships, breadth first from the package's own; each part's
    // relationships read once, and all of them together no more than a bound.
    std::set<std::string> reached;
    std::deque<std::string> sources{""};
    std::size_t relationshipParts = 0;
    std::size_t bytesRead = 0;
    while (!sources.empty() && relationshipParts < kMaxRelationshipParts &&
           bytesRead < kRelationshipsReadLimit) {
        const std::string source = std::move(sources.front());
        sources.pop_front();
        const std::string relationships =
            source.empty() ? std::string(kPackageRelationships) : relationshipPartOf(source);
        const std::optional<std::string> text = readPart(relationships);
        if (!text)
            continue;
        ++relationshipParts;
        bytesRead += text->size();
        declared.insert(relationships);
        XmlStartTags tags(*text);
        while (tags.next(tag)) {
            const std::string_view* target = tag.attribute("Target");
            const std::string_view* mode = tag.attribute("TargetMode");
            if (tag.localName != "Relationship" || target == nullptr ||
                (mode != nullptr && *mode == "External")) {
                continue;
            }
            std::string part = relationshipTarget(source, *target);
            if (part.empty() || !reached.insert(part).second)
                continue;
            declared.insert(part);
            sources.push_back(std::move(part));
        }
    }
    return declared;
}

}  // namespace kovrisk::package
