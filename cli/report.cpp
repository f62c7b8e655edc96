#include "cli/report.h"

#include <cstdint>

namespace cli {

using platform::CString;

namespace {

struct Count {
  uint64_t value;
  std::string_view english_one;
  std::string_view english_many;
  std::string_view chinese;  // the thing counted, then the count and its measure word
  std::string_view measure;
};

std::string Render(const Count& count, Language language) {
  const std::string number = std::to_string(count.value);
  if (language == Language::kChinese) {
    return std::string(count.chinese) + " " + number + " " + std::string(count.measure);
  }
  return number + " " + std::string(count.value == 1 ? count.english_one : count.english_many);
}

// The non-zero counts of `counts`, joined by commas; empty when all are zero.
std::string RenderList(std::initializer_list<Count> counts, Language language) {
  std::string list;
  for (const Count& count : counts) {
    if (count.value == 0) continue;
    if (!list.empty()) list += Pick(language, ", ", "，");
    list += Render(count, language);
  }
  return list;
}

std::string Converted(const CString& input, const CString& mif, const CString& mid,
                      Language language) {
  return std::string(Pick(language, "Converted ", "已转换")) + Quoted(input, language) +
         std::string(Pick(language, ": ", "：")) + Quoted(mif, language) +
         std::string(Pick(language, " and ", "和")) + Quoted(mid, language);
}

}  // namespace

std::string Quoted(const CString& path, Language language) {
  return std::string(Pick(language, "\"", "“")) + path.str() +
         std::string(Pick(language, "\"", "”"));
}

std::string FormatFullSummary(const convert::FullSummary& summary, const CString& input,
                              Language language) {
  const mif::WriterCounts& written = summary.written;
  std::string objects = RenderList(
      {
          {written.points, "point", "points", "点", "个"},
          {written.multipoints, "multipoint", "multipoints", "多点", "个"},
          {written.lines, "line", "lines", "线", "条"},
          {written.regions, "region", "regions", "区域", "个"},
          {written.collections, "collection", "collections", "集合", "个"},
          {written.no_geometry, "placemark without geometry", "placemarks without geometry",
           "无几何的地标", "个"},
      },
      language);
  if (objects.empty()) objects = Pick(language, "no placemarks", "没有地标");
  const std::string skipped = RenderList(
      {
          {summary.overlays, "overlay", "overlays", "叠加层", "个"},
          {summary.network_links, "network link", "network links", "网络链接", "个"},
          {summary.outside_placemarks, "placemark outside the document's folders",
           "placemarks outside the document's folders", "不属于文档结构的地标", "个"},
          {summary.bad_tuples, "unreadable coordinate tuple", "unreadable coordinate tuples",
           "无法读取的坐标", "组"},
          {written.dropped_parts, "empty or degenerate part", "empty or degenerate parts",
           "空的或退化的部分", "个"},
      },
      language);
  const std::string changed = RenderList(
      {
          {summary.extra_tuples, "tuple with extra values (x and y kept)",
           "tuples with extra values (x and y kept)", "有多余数值的坐标", "组（保留 x、y）"},
          {written.one_point_lines, "line of one point written as a point",
           "lines of one point written as points", "只有一个点而写作点的线", "条"},
          {written.replaced_chars, "character written as '?'", "characters written as '?'",
           "写作“?”的字符", "个"},
          {written.cut_values, "value cut to 254 bytes", "values cut to 254 bytes",
           "截断到 254 字节的值", "个"},
          {written.dropped_fields, "field beyond the column limit dropped",
           "fields beyond the column limit dropped", "超出列数上限而丢弃的字段", "个"},
          {summary.dropped_styles, "style dropped", "styles dropped", "丢弃的样式", "个"},
      },
      language);
  std::string line = Converted(input, summary.mif_path, summary.mid_path, language);
  line += Pick(language, ", ", "，");
  line += objects;
  if (!skipped.empty()) {
    line += Pick(language, "; skipped: ", "；跳过：");
    line += skipped;
  }
  if (!changed.empty()) {
    line += Pick(language, "; ", "；");
    line += changed;
  }
  line += Pick(language, ".\n", "。\n");
  return line;
}

std::vector<std::string> FullWarnings(const convert::FullSummary& summary, const CString& input,
                                      Language language) {
  const std::string quoted = Quoted(input, language);
  if (!summary.kml_root) {
    return {std::string(Pick(language, "warning: ", "警告：")) + quoted +
            std::string(Pick(language, " is not a KML document; the table written is empty.",
                             "不是 KML 文档，写出的表是空的。"))};
  }
  if (summary.placemarks == 0) {
    return {std::string(Pick(language, "warning: ", "警告：")) + quoted +
            std::string(Pick(language, " has no placemarks; the table written is empty.",
                             "中没有地标，写出的表是空的。"))};
  }
  std::vector<std::string> warnings;
  const std::string start = std::string(Pick(language, "warning: ", "警告：")) + quoted;
  const uint64_t refused = summary.written.refused_points;
  if (refused != 0) {
    warnings.push_back(
        start +
        (language == Language::kChinese
             ? "中有 " + std::to_string(refused) +
                   " 个点无法转换到所选的坐标系（纬度超出 ±90°，或距投影带的中央子午线超过 "
                   "60°），已跳过。"
             : ": " + std::to_string(refused) +
                   (refused == 1 ? " point cannot be transformed"
                                 : " points cannot be transformed") +
                   " into the coordinate system (a latitude beyond +-90 degrees, or more than 60 "
                   "degrees from the zone's central meridian) and " +
                   (refused == 1 ? "was" : "were") + " skipped."));
  }
  const uint64_t outside = summary.written.outside_zone;
  if (outside != 0) {
    const std::string zone = std::to_string(summary.zone);
    warnings.push_back(start +
                       (language == Language::kChinese
                            ? "中有 " + std::to_string(outside) + " 个点位于第 " + zone +
                                  " 带之外；换一个投影带会更合适。"
                            : ": " + std::to_string(outside) +
                                  (outside == 1 ? " point lies outside zone " + zone +
                                                      "; another zone would fit it better."
                                                : " points lie outside zone " + zone +
                                                      "; another zone would fit them better.")));
  }
  return warnings;
}

std::string FormatFirstLineSummary(const convert::FirstLineSummary& summary, const CString& input,
                                   Language language) {
  return Converted(input, summary.mif_path, summary.mid_path, language) +
         std::string(Pick(language, ", ", "，")) + std::to_string(summary.point_count) +
         std::string(
             Pick(language, summary.point_count == 1 ? " point.\n" : " points.\n", " 个点。\n"));
}

std::vector<std::string> FirstLineWarnings(const convert::FirstLineSummary& summary,
                                           const CString& input, Language language) {
  const std::string warning =
      std::string(Pick(language, "warning: ", "警告：")) + Quoted(input, language);
  const std::string_view advice =
      Pick(language, " Convert it without --first-line to read every placemark.",
           "不带 --first-line 转换可以读出所有地标。");
  if (!summary.found_coordinate_line) {
    return {warning + std::string(Pick(language,
                                       " has no coordinate list; the polyline written has no "
                                       "points.",
                                       "中没有坐标列表，写出的折线没有点。"))};
  }
  if (summary.point_count == 0) {
    return {warning +
            std::string(Pick(language,
                             ": no point was found in its coordinate list (the tuples do not end "
                             "in \",0 \"); the MIF file written cannot be read by MIF readers.",
                             "的坐标列表中找不到点（坐标组不以“,0 ”结尾），写出的 MIF "
                             "文件无法被 MIF 读取程序读取。")) +
            std::string(advice)};
  }
  if (!summary.point_text_is_pairs) {
    return {warning +
            std::string(Pick(language,
                             ": its points are not pairs of numbers (heights other than 0, or "
                             "text that is not a number); the MIF file written cannot be read "
                             "by MIF readers.",
                             "的点不是成对的数字（高度不为 0，或者有不是数字的文字），写出的 MIF "
                             "文件无法被 MIF 读取程序读取。")) +
            std::string(advice)};
  }
  return {};
}

std::string FileErrorMessage(const platform::CFileException& error, Language language,
                             std::string (*convert_literal)(std::string_view)) {
  if (language == Language::kEnglish) return error.GetEnglishMessage().str();
  if (convert_literal == nullptr) return error.GetErrorMessage().str();
  return error.GetErrorMessage(convert_literal).str();
}

}  // namespace cli
