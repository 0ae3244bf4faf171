#include "workbook/file_edit/ooxml_control_sheet.h"

#include <algorithm>
#include <map>
#include <set>

#include "formats/package_parts.h"
#include "workbook/file_edit/app_properties.h"
#include "workbook/file_edit/control_sheet_part.h"
#include "workbook/file_edit/not_taken.h"
#include "workbook/file_edit/ooxml_names.h"
#include "workbook/file_edit/package_names.h"
#include "workbook/file_edit/sheet_selection.h"
#include "workbook/file_edit/style_sheet.h"
#include "workbook/file_edit/xml_part.h"
#include "workbook/file_edit/zip_package.h"

namespace kovrisk::file_edit {

namespace {

// The largest part the editor unpacks to read it (the workbook has a 2 GiB bound as a whole).
constexpr std::uint64_t kPartBound = 512ull << 20;
// How much of a sheet part is read to find its first sheet view.
constexpr std::size_t kSheetHead = 64 << 10;

std::string asciiUpper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

struct Relationship {
    xmlNodePtr node = nullptr;
    std::string id;
    std::string type;
    std::string target;
    bool external = false;
};

std::vector<Relationship> relationshipsIn(const XmlPart& part) {
    std::vector<Relationship> result;
    for (xmlNodePtr node :
         childElements(part.root(), ooxml::kPackageRelationships, "Relationship")) {
        result.push_back({node, attribute(node, "Id").value_or(""),
                          attribute(node, "Type").value_or(""),
                          attribute(node, "Target").value_or(""),
                          attribute(node, "TargetMode").value_or("") == "External"});
    }
    return result;
}

struct Sheet {
    xmlNodePtr node = nullptr;
    std::string name;
    bool visible = true;
    std::string type;  // its relationship's type
    std::string part;  // its part's name
};

class PackageEdit {
public:
    explicit PackageEdit(std::string_view file) : zip_(file) {}

    std::string run(const ControlSheet& sheet);

private:
    std::optional<std::uint64_t> entry(const std::string& name) const { return zip_.find(name); }
    std::string readPart(const std::string& name) {
        const std::optional<std::uint64_t> index = entry(name);
        if (!index)
            throw NotTaken("no part " + name);
        return zip_.read(*index, kPartBound);
    }
    void replacePart(const std::string& name, std::string text) {
        zip_.replace(*entry(name), std::move(text));
    }
    void removeEarlierSheetParts(const std::vector<std::string>& sheetParts);
    bool referencedOutside(const std::string& part, const std::set<std::string>& removed);

    ZipPackage zip_;
    // Parts removed with earlier control sheets (upper-cased names).
    std::set<std::string> removedParts_;
};

bool PackageEdit::referencedOutside(const std::string& part, const std::set<std::string>& removed) {
    for (const std::string& name : zip_.names()) {
        if (name.size() < 5 || asciiUpper(name.substr(name.size() - 5)) != ".RELS" ||
            removed.count(asciiUpper(name))) {
            continue;
        }
        // The part the relationships belong to: drop "_rels/" and ".rels".
        const std::size_t rels = asciiUpper(name).rfind("_RELS/");
        if (rels == std::string::npos)
            continue;
        const std::string source =
            name.substr(0, rels) + name.substr(rels + 6, name.size() - rels - 6 - 5);
        if (removed.count(asciiUpper(source)))
            continue;
        XmlPart relsPart(readPart(name), name);
        for (const Relationship& relationship : relationshipsIn(relsPart)) {
            if (!relationship.external &&
                samePartName(package::relationshipTarget(source, relationship.target), part)) {
                return true;
            }
        }
    }
    return false;
}

// Removes the earlier control sheets' parts, their relationships parts, and the parts only they
// refer to (followed on through those parts' own relationships).
void PackageEdit::removeEarlierSheetParts(const std::vector<std::string>& sheetParts) {
    std::vector<std::string> pending = sheetParts;
    std::set<std::string> removed;
    for (const std::string& part : sheetParts)
        removed.insert(asciiUpper(part));
    std::vector<std::string> candidates;
    while (!pending.empty()) {
        const std::string part = pending.back();
        pending.pop_back();
        const std::string relsName = package::relationshipPartOf(part);
        if (!entry(relsName))
            continue;
        removed.insert(asciiUpper(relsName));
        XmlPart relsPart(readPart(relsName), relsName);
        for (const Relationship& relationship : relationshipsIn(relsPart)) {
            const std::string target = package::relationshipTarget(part, relationship.target);
            if (relationship.external || removed.count(asciiUpper(target)) || !entry(target))
                continue;
            candidates.push_back(target);
            removed.insert(asciiUpper(target));
            pending.push_back(target);
        }
    }
    // A part another part still refers to stays, and what it refers to with it.
    for (const std::string& candidate : candidates) {
        if (referencedOutside(candidate, removed))
            removed.erase(asciiUpper(candidate));
    }
    for (const std::string& name : removed) {
        if (const std::optional<std::uint64_t> index = entry(name))
            zip_.remove(*index);
    }
    removedParts_ = removed;
}

std::string PackageEdit::run(const ControlSheet& control) {
    const std::string controlName = utf8(control.name);

    // The package's relationships: the workbook part and the extended properties.
    const std::string packageRelsName = "_rels/.rels";
    XmlPart packageRels(readPart(packageRelsName), packageRelsName);
    std::string workbookName, propertiesName;
    for (const Relationship& relationship : relationshipsIn(packageRels)) {
        if (relationship.type == ooxml::kStrictOfficeDocumentType)
            throw NotTaken("Strict Open XML");
        if (relationship.type == ooxml::kOfficeDocumentType)
            workbookName = package::relationshipTarget("", relationship.target);
        if (relationship.type == ooxml::kExtendedPropertiesType)
            propertiesName = package::relationshipTarget("", relationship.target);
    }
    if (workbookName.empty())
        throw NotTaken("a package without a workbook part");

    XmlPart workbook(readPart(workbookName), workbookName);
    const xmlNodePtr workbookRoot = workbook.root();
    if (namespaceOf(workbookRoot) == ooxml::kStrictMain)
        throw NotTaken("Strict Open XML");
    if (!isElement(workbookRoot, ooxml::kMain, "workbook"))
        throw NotTaken("a workbook part of an unknown kind");
    const std::string workbookRelsName = package::relationshipPartOf(workbookName);
    XmlPart workbookRels(readPart(workbookRelsName), workbookRelsName);
    const std::vector<Relationship> relationships = relationshipsIn(workbookRels);
    std::map<std::string, const Relationship*> byId;
    for (const Relationship& relationship : relationships)
        byId[relationship.id] = &relationship;

    const xmlNodePtr sheetList = firstChild(workbookRoot, ooxml::kMain, "sheets");
    if (!sheetList)
        throw NotTaken("a workbook part without a sheet list");
    std::vector<Sheet> sheets;
    unsigned long highestSheetId = 0;
    for (xmlNodePtr node : childElements(sheetList, ooxml::kMain, "sheet")) {
        Sheet sheet;
        sheet.node = node;
        sheet.name = attribute(node, "name").value_or("");
        const std::string state = attribute(node, "state").value_or("visible");
        sheet.visible = state == "visible";
        const std::string id = attribute(node, "id", ooxml::kRelationships).value_or("");
        const auto found = byId.find(id);
        if (found == byId.end() || found->second->external)
            throw NotTaken("a sheet without its part");
        sheet.type = found->second->type;
        sheet.part = package::relationshipTarget(workbookName, found->second->target);
        const std::string sheetId = attribute(node, "sheetId").value_or("");
        if (sheetId.empty() || sheetId.size() > 9 ||
            !std::all_of(sheetId.begin(), sheetId.end(),
                         [](char c) { return c >= '0' && c <= '9'; })) {
            throw NotTaken("a sheet id the editor does not read");
        }
        highestSheetId = std::max(highestSheetId, std::stoul(sheetId));
        sheets.push_back(std::move(sheet));
    }

    // Earlier control sheets go: their entries in the sheet list, the names defined on them, their
    // relationships and their parts.
    std::vector<std::string> worksheetNames, removedNames, removedSheetParts;
    std::vector<Sheet> kept;
    const xmlNodePtr definedNames = firstChild(workbookRoot, ooxml::kMain, "definedNames");
    bool namesRemoved = false;
    for (std::size_t index = 0, keptIndex = 0; index < sheets.size(); ++index) {
        Sheet& sheet = sheets[index];
        if (sheet.type == ooxml::kWorksheetType)
            worksheetNames.push_back(sheet.name);
        if (asciiUpper(sheet.name) != asciiUpper(controlName)) {
            // Names defined on a sheet hold its position among the sheets.
            if (definedNames && keptIndex != index) {
                for (xmlNodePtr name : childElements(definedNames, ooxml::kMain, "definedName")) {
                    if (attribute(name, "localSheetId") == std::to_string(index))
                        setAttribute(name, "localSheetId", std::to_string(keptIndex));
                }
            }
            kept.push_back(sheet);
            ++keptIndex;
            continue;
        }
        if (sheet.type != ooxml::kWorksheetType)
            throw NotTaken("a sheet named like the control sheet that is no worksheet");
        if (definedNames) {
            for (xmlNodePtr name : childElements(definedNames, ooxml::kMain, "definedName")) {
                if (attribute(name, "localSheetId") == std::to_string(index)) {
                    removeNode(name);
                    namesRemoved = true;
                }
            }
        }
        const std::string id = attribute(sheet.node, "id", ooxml::kRelationships).value_or("");
        removeNode(byId.at(id)->node);
        removeNode(sheet.node);
        removedNames.push_back(sheet.name);
        removedSheetParts.push_back(sheet.part);
    }
    // A name list emptied here goes with its names; one that was empty already stays.
    if (namesRemoved && childElements(definedNames).empty())
        removeNode(definedNames);
    if (!removedSheetParts.empty())
        removeEarlierSheetParts(removedSheetParts);

    // The new sheet's part, relationship and entry, last in the sheet list.
    const std::string folder = folderOf(workbookName);
    std::string partName;
    for (std::size_t n = sheets.size() + 1;; ++n) {
        partName = folder + "worksheets/sheet" + std::to_string(n) + ".xml";
        if (!entry(partName) && !removedParts_.count(asciiUpper(partName)))
            break;
    }
    std::string relationshipId;
    for (std::size_t n = relationships.size() + 1;; ++n) {
        relationshipId = "rId" + std::to_string(n);
        if (!byId.count(relationshipId))
            break;
    }
    xmlNodePtr relationship =
        xmlNewDocNode(workbookRels.root()->doc, workbookRels.root()->ns,
                      reinterpret_cast<const xmlChar*>("Relationship"), nullptr);
    setAttribute(relationship, "Id", relationshipId);
    setAttribute(relationship, "Type", ooxml::kWorksheetType);
    setAttribute(relationship, "Target", partName.substr(folder.size()));
    appendElement(workbookRels.root(), relationship);

    xmlNodePtr newSheet = newElementLike(sheetList, "sheet");
    setAttribute(newSheet, "name", controlName);
    setAttribute(newSheet, "sheetId", std::to_string(highestSheetId + 1));
    setAttribute(newSheet, "state", "hidden");
    xmlNewNsProp(newSheet, namespaceFor(sheetList, ooxml::kRelationships, "r"),
                 reinterpret_cast<const xmlChar*>("id"),
                 reinterpret_cast<const xmlChar*>(relationshipId.c_str()));
    appendElement(sheetList, newSheet);

    // The first visible worksheet is the active one, and the only selected tab.
    std::size_t active = kept.size();
    for (std::size_t i = 0; i < kept.size() && active == kept.size(); ++i) {
        if (kept[i].visible && kept[i].type == ooxml::kWorksheetType)
            active = i;
    }
    for (std::size_t i = 0; i < kept.size() && active == kept.size(); ++i) {
        if (kept[i].visible)
            active = i;
    }
    if (active < kept.size()) {
        xmlNodePtr views = firstChild(workbookRoot, ooxml::kMain, "bookViews");
        if (!views && active != 0) {
            views = newElementLike(sheetList, "bookViews");
            xmlAddChild(views, newElementLike(sheetList, "workbookView"));
            xmlAddPrevSibling(sheetList, views);
        }
        for (xmlNodePtr view : childElements(views, ooxml::kMain, "workbookView")) {
            if (active == 0)
                removeAttribute(view, "activeTab");
            else
                setAttribute(view, "activeTab", std::to_string(active));
            if (const std::optional<std::string> first = attribute(view, "firstSheet");
                first && *first != "0") {
                removeAttribute(view, "firstSheet");
            }
        }
        // Where no tab is selected the active one is; then nothing changes.
        std::vector<bool> selected(kept.size(), false);
        for (std::size_t i = 0; i < kept.size(); ++i) {
            if (const std::optional<std::uint64_t> index = entry(kept[i].part))
                selected[i] = tabSelected(zip_.readHead(*index, kSheetHead));
        }
        const bool anySelected =
            std::find(selected.begin(), selected.end(), true) != selected.end();
        for (std::size_t i = 0; i < kept.size() && anySelected; ++i) {
            if (selected[i] != (i == active)) {
                replacePart(kept[i].part,
                            withTabSelected(readPart(kept[i].part), kept[i].part, i == active));
            }
        }
    }

    // White for the tag's cell.
    std::string stylesName;
    for (const Relationship& relationship : relationships) {
        if (relationship.type == ooxml::kStylesType)
            stylesName = package::relationshipTarget(workbookName, relationship.target);
    }
    if (stylesName.empty())
        throw NotTaken("a workbook without a style sheet");
    XmlPart styles(readPart(stylesName), stylesName);
    const std::size_t tagStyle = addWhiteTextFormat(styles);

    // The content types: the new part's, none of the removed ones'.
    const std::string typesName = "[Content_Types].xml";
    XmlPart types(readPart(typesName), typesName);
    if (!isElement(types.root(), ooxml::kContentTypes, "Types"))
        throw NotTaken("content types of an unknown kind");
    for (xmlNodePtr override : childElements(types.root(), ooxml::kContentTypes, "Override")) {
        const std::string name =
            package::relationshipTarget("", attribute(override, "PartName").value_or(""));
        if (removedParts_.count(asciiUpper(name)))
            removeNode(override);
    }
    xmlNodePtr override = newElementLike(types.root(), "Override");
    setAttribute(override, "PartName", "/" + partName);
    setAttribute(override, "ContentType", ooxml::kWorksheetContentType);
    appendElement(types.root(), override);

    // Everything read, the changed parts go in.
    if (!propertiesName.empty() && entry(propertiesName)) {
        XmlPart properties(readPart(propertiesName), propertiesName);
        if (listNewWorksheet(properties, worksheetNames, removedNames, controlName))
            replacePart(propertiesName, properties.text());
    }
    replacePart(typesName, types.text());
    replacePart(workbookName, workbook.text());
    replacePart(workbookRelsName, workbookRels.text());
    replacePart(stylesName, styles.text());
    zip_.add(partName, controlSheetPart(control, tagStyle));
    return zip_.finish();
}

}  // namespace

ControlSheetEdit addOoxmlControlSheet(std::string_view file, const ControlSheet& sheet) {
    using Outcome = ControlSheetEdit::Outcome;
    try {
        PackageEdit edit(file);
        return {Outcome::Edited, edit.run(sheet), {}};
    } catch (const ZipUnreadable& error) {
        return {Outcome::NotTaken,
                {},
                std::string("a zip archive libzip does not read: ") + error.what()};
    } catch (const NotTaken& error) {
        return {Outcome::NotTaken, {}, error.what()};
    } catch (const ZipEntryDamaged& error) {
        return {Outcome::Damaged, {}, error.what()};
    } catch (const XmlDamaged& error) {
        return {Outcome::Damaged, {}, error.what()};
    }
}

}  // namespace kovrisk::file_edit
