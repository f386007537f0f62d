// The Configuration Manager script of --deploy: each cmdlet it calls, with each parameter, held to
// a table of the parameter sets Microsoft's ConfigurationManager reference documents (there is no
// PowerShell here to ask), how each kind of package is installed, and the run that finds its
// application made already.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/check/deploy_folder.h"
#include "tools/setup-check/deploy/deploy_descriptions.h"

namespace setup::check::testing {
namespace {

// The reference's parameter sets (learn.microsoft.com/powershell/module/configurationmanager, as
// in MicrosoftDocs/sccm-docs-powershell-ref): per cmdlet, the parameters of every set, then each
// named set's own. "!" marks a parameter the set requires, "~" a switch, which takes no value.
struct CmdletReference {
  const char* cmdlet;
  const char* everySet;
  std::vector<std::pair<const char*, const char*>> sets;
};

const CmdletReference kReference[] = {
    {"Add-CMScriptDeploymentType",
     "ContentLocation !DeploymentTypeName !InstallCommand ~CacheContent ~ContentFallback ~EnableBranchCache "
     "EstimatedRuntimeMins ~Force32Bit InstallationBehaviorType InstallWorkingDirectory LogonRequirementType "
     "MaximumRuntimeMins RebootBehavior RepairCommand RepairWorkingDirectory ~RequireUserInteraction "
     "SlowNetworkDeploymentMode SourceUpdateProductCode UninstallCommand UninstallContentLocation UninstallOption "
     "UninstallWorkingDirectory UserInteractionMode AddRequirement RemoveLanguage RemoveRequirement AddLanguage "
     "Comment ~Force ~DisableWildcardHandling ~ForceWildcardHandling ~WhatIf ~Confirm",
     {{"ByAppNameScript", "!ApplicationName ~ForceScriptDetection32Bit ScriptFile !ScriptLanguage ScriptText"},
      {"ByAppId", "!ProductCode !ApplicationId"},
      {"ByAppName", "!ProductCode !ApplicationName"},
      {"ByAppValue", "!ProductCode !InputObject"},
      {"ByAppIdDetectionClause", "!AddDetectionClause !ApplicationId DetectionClauseConnector GroupDetectionClauses"},
      {"ByAppNameDetectionClause",
       "!AddDetectionClause !ApplicationName DetectionClauseConnector GroupDetectionClauses"},
      {"ByAppValueDetectionClause", "!AddDetectionClause !InputObject DetectionClauseConnector GroupDetectionClauses"},
      {"ByAppIdScript", "!ApplicationId ~ForceScriptDetection32Bit ScriptFile !ScriptLanguage ScriptText"},
      {"ByAppValueScript", "!InputObject ~ForceScriptDetection32Bit ScriptFile !ScriptLanguage ScriptText"}}},
    {"New-CMApplication",
     "AddOwner AddSupportContact AppCatalog AutoInstall DefaultLanguageId Description "
     "DisplaySupersedenceInApplicationCatalog IconLocationFile IsFeatured Keyword LinkText LocalizedDescription "
     "LocalizedName !Name OptionalReference Owner PrivacyUrl Publisher ReleaseDate SoftwareVersion SupportContact "
     "UserDocumentation ~DisableWildcardHandling ~ForceWildcardHandling ~WhatIf ~Confirm",
     {{"(the only one)", ""}}},
    // The syntax shows -Value and -Existence in brackets; their parameter entries say Required.
    {"New-CMDetectionClauseWindowsInstaller",
     "!ProductCode ~DisableWildcardHandling ~ForceWildcardHandling",
     {{"Value", "!ExpectedValue !ExpressionOperator PropertyType !~Value"}, {"Existence", "!~Existence"}}},
    {"Get-CMApplication",
     "~Fast ~ShowHidden ~DisableWildcardHandling ~ForceWildcardHandling",
     {{"SearchByName", "Name"},
      {"SearchByIdMandatory", "!Id"},
      {"SearchByModelName", "!ModelName"},
      {"SearchByDeploymentType", "!InputObject"}}},
    {"Remove-CMApplication",
     "~Force ~DisableWildcardHandling ~ForceWildcardHandling ~WhatIf ~Confirm",
     {{"SearchByValueMandatory", "!InputObject"},
      {"SearchByIdMandatory", "!Id"},
      {"SearchByModelName", "!ModelName"},
      {"SearchByNameMandatory", "!Name"}}},
};

// PowerShell's common parameters, which every cmdlet takes.
constexpr char kCommonParameters[] =
    "~Debug ErrorAction ErrorVariable InformationAction InformationVariable OutVariable OutBuffer PipelineVariable "
    "~Verbose WarningAction WarningVariable";

// The values the reference accepts for a parameter ("Accepted values").
const struct {
  const char* cmdlet;
  const char* parameter;
  const char* values;
} kAcceptedValues[] = {
    {"Add-CMScriptDeploymentType", "InstallationBehaviorType",
     "InstallForUser InstallForSystem InstallForSystemIfResourceIsDeviceOtherwiseInstallForUser"},
    {"Add-CMScriptDeploymentType", "LogonRequirementType",
     "OnlyWhenUserLoggedOn WhereOrNotUserLoggedOn WhetherOrNotUserLoggedOn OnlyWhenNoUserLoggedOn"},
    {"Add-CMScriptDeploymentType", "RebootBehavior", "BasedOnExitCode NoAction ForceReboot ProgramReboot"},
    {"Add-CMScriptDeploymentType", "SlowNetworkDeploymentMode", "DoNothing Download"},
    {"Add-CMScriptDeploymentType", "UninstallOption", "SameAsInstall NoneRequired Different"},
    {"Add-CMScriptDeploymentType", "UserInteractionMode", "Normal Minimized Maximized Hidden"},
    {"Add-CMScriptDeploymentType", "ScriptLanguage", "PowerShell VBScript JavaScript"},
    {"New-CMDetectionClauseWindowsInstaller", "ExpressionOperator",
     "IsEquals NotEquals GreaterEquals GreaterThan LessEquals LessThan"},
    {"New-CMDetectionClauseWindowsInstaller", "PropertyType", "ProductVersion"},
};

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

struct Parameter {
  bool required = false;
  bool isSwitch = false;
};
using ParameterSet = std::map<std::string, Parameter>;

// The sets of a cmdlet with the parameters of every set and the common ones merged in; none for
// a cmdlet the table does not hold.
std::vector<std::pair<std::string, ParameterSet>> SetsOf(const std::string& cmdlet) {
  std::vector<std::pair<std::string, ParameterSet>> sets;
  for (const CmdletReference& reference : kReference) {
    if (cmdlet != reference.cmdlet) continue;
    for (const auto& [name, own] : reference.sets) {
      ParameterSet set;
      for (const std::string& words :
           {std::string(kCommonParameters), std::string(reference.everySet), std::string(own)}) {
        for (std::string word : Words(words)) {
          Parameter parameter;
          if (word.front() == '!') parameter.required = true, word.erase(0, 1);
          if (word.front() == '~') parameter.isSwitch = true, word.erase(0, 1);
          set[word] = parameter;
        }
      }
      sets.emplace_back(name, set);
    }
  }
  return sets;
}

// A word of the script: its text with quotes and escapes resolved, and whether it was quoted.
struct Token {
  std::string text;
  bool quoted = false;
};
using Command = std::vector<Token>;

bool IsSingleQuote(char16_t c) { return c == u'\'' || (c >= u'\u2018' && c <= u'\u201B'); }

// The script cut into commands as PowerShell cuts them, far enough for calls of cmdlets with
// literal and variable arguments: a line ends one unless a backtick continues it, and so do ";",
// "|" and braces and parentheses; "#" starts a comment; both kinds of string are one word.
std::vector<Command> Commands(const std::string& script) {
  Text text = FromUtf8(script);
  if (!text.empty() && text.front() == u'\uFEFF') text.erase(0, 1);
  std::vector<Command> commands(1);
  Text word;
  bool inWord = false, quoted = false;
  const auto flush = [&] {
    if (inWord) commands.back().push_back({ToUtf8(word), quoted});
    word.clear();
    inWord = quoted = false;
  };
  for (size_t i = 0; i < text.size();) {
    const char16_t c = text[i];
    if (c == u'`' && i + 1 < text.size() && (text[i + 1] == u'\r' || text[i + 1] == u'\n')) {
      flush();
      i += text[i + 1] == u'\r' && i + 2 < text.size() && text[i + 2] == u'\n' ? 3 : 2;
    } else if (c == u' ' || c == u'\t' || c == u'\r') {
      flush();
      ++i;
    } else if (c == u'\n' || c == u';' || c == u'|' || c == u'{' || c == u'}' || c == u'(' || c == u')') {
      flush();
      if (!commands.back().empty()) commands.emplace_back();
      ++i;
    } else if (c == u'#' && !inWord) {
      while (i < text.size() && text[i] != u'\n') ++i;
    } else if (IsSingleQuote(c)) {
      inWord = quoted = true;
      for (++i; i < text.size(); ++i) {
        if (!IsSingleQuote(text[i])) {
          word += text[i];
        } else if (i + 1 < text.size() && IsSingleQuote(text[i + 1])) {
          word += text[++i];
        } else {
          ++i;
          break;
        }
      }
    } else if (c == u'"') {
      inWord = quoted = true;
      for (++i; i < text.size(); ++i) {
        if (text[i] == u'`' && i + 1 < text.size()) {
          word += text[++i];
        } else if (text[i] == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
          word += text[++i];
        } else if (text[i] == u'"') {
          ++i;
          break;
        } else {
          word += text[i];
        }
      }
    } else {
      inWord = true;
      word += c;
      ++i;
    }
  }
  flush();
  if (commands.back().empty()) commands.pop_back();
  return commands;
}

// One call of a Verb-CMNoun cmdlet: the parameters named, each with its value (none for a
// switch), and the arguments no parameter takes.
struct Call {
  std::string cmdlet;
  std::map<std::string, std::optional<Token>> parameters;
  std::vector<std::string> positional;
  std::vector<std::string> repeated;
};

bool IsParameterName(const Token& token) {
  static const std::regex kName("^-[A-Za-z][A-Za-z0-9]*(:.*)?$");
  return !token.quoted && std::regex_match(token.text, kName);
}

std::vector<Call> CmCalls(const std::string& script) {
  static const std::regex kCmdlet("^[A-Z][a-z]+-CM[A-Za-z0-9]+$");
  std::vector<Call> calls;
  for (const Command& command : Commands(script)) {
    const auto at = std::find_if(command.begin(), command.end(), [](const Token& token) {
      return !token.quoted && std::regex_match(token.text, kCmdlet);
    });
    if (at == command.end()) continue;
    Call call{at->text, {}, {}, {}};
    const auto sets = SetsOf(call.cmdlet);
    const auto isSwitch = [&](const std::string& name) {
      return std::ranges::any_of(sets, [&](const auto& set) {
        const auto found = set.second.find(name);
        return found != set.second.end() && found->second.isSwitch;
      });
    };
    for (auto token = at + 1; token != command.end(); ++token) {
      if (!IsParameterName(*token)) {
        call.positional.push_back(token->text);
        continue;
      }
      const size_t colon = token->text.find(':');
      const std::string name = token->text.substr(1, colon == std::string::npos ? std::string::npos : colon - 1);
      std::optional<Token> value;
      if (colon != std::string::npos) {
        value = Token{token->text.substr(colon + 1), false};
      } else if (!isSwitch(name) && token + 1 != command.end() && !IsParameterName(*(token + 1))) {
        value = *++token;
      }
      if (call.parameters.contains(name)) call.repeated.push_back(name);
      call.parameters[name] = value;
    }
    calls.push_back(call);
  }
  return calls;
}

// What the reference refuses in the call; empty when its parameters are all documented, belong to
// one parameter set together with every parameter that set requires, and take the values the
// reference accepts. set is that parameter set's name.
std::vector<std::string> Refusals(const Call& call, std::string* set = nullptr) {
  std::vector<std::string> refusals;
  const auto sets = SetsOf(call.cmdlet);
  if (sets.empty()) return {call.cmdlet + ": not a cmdlet of the table"};
  for (const std::string& argument : call.positional) {
    refusals.push_back(call.cmdlet + ": \"" + argument + "\" is no parameter's value");
  }
  for (const std::string& name : call.repeated) refusals.push_back(call.cmdlet + ": -" + name + " given twice");
  std::vector<std::string> fitting;
  for (const auto& [name, parameters] : sets) {
    const bool allKnown = std::ranges::all_of(call.parameters, [&](const auto& given) {
      const auto found = parameters.find(given.first);
      return found != parameters.end() && (found->second.isSwitch || given.second.has_value());
    });
    const bool allRequired = std::ranges::all_of(parameters, [&](const auto& parameter) {
      return !parameter.second.required || call.parameters.contains(parameter.first);
    });
    if (allKnown && allRequired) fitting.push_back(name);
  }
  for (const auto& [name, value] : call.parameters) {
    const bool documented = std::ranges::any_of(sets, [&](const auto& s) { return s.second.contains(name); });
    if (!documented) refusals.push_back(call.cmdlet + ": no parameter -" + name);
  }
  if (fitting.size() != 1) {
    std::string names;
    for (const auto& [name, value] : call.parameters) names += " -" + name;
    refusals.push_back(call.cmdlet + ":" + names + (fitting.empty() ? " fit no parameter set" : " fit several sets"));
  } else if (set != nullptr) {
    *set = fitting.front();
  }
  for (const auto& accepted : kAcceptedValues) {
    const auto given = call.parameters.find(accepted.parameter);
    if (call.cmdlet != accepted.cmdlet || given == call.parameters.end() || !given->second) continue;
    const std::vector<std::string> values = Words(accepted.values);
    if (given->second->text.starts_with('$')) continue;  // a variable's value is the script's
    if (std::ranges::find(values, given->second->text) == values.end()) {
      refusals.push_back(call.cmdlet + ": -" + accepted.parameter + " " + given->second->text + " is not one of " +
                         accepted.values);
    }
  }
  // -LogonRequirementType: "If you set InstallationBehaviorType to InstallForUser, then you can't
  // set this parameter."
  const auto behaviour = call.parameters.find("InstallationBehaviorType");
  if (call.cmdlet == "Add-CMScriptDeploymentType" && behaviour != call.parameters.end() && behaviour->second &&
      behaviour->second->text == "InstallForUser" && call.parameters.contains("LogonRequirementType")) {
    refusals.push_back(call.cmdlet + ": -LogonRequirementType cannot be set with InstallForUser");
  }
  return refusals;
}

std::vector<std::string> Refusals(const std::string& script) {
  std::vector<std::string> refusals;
  for (const Call& call : CmCalls(script)) {
    for (std::string& refusal : Refusals(call)) refusals.push_back(std::move(refusal));
  }
  return refusals;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

DeployFacts FactsOf(InstallScope scope) {
  return {.identifier = "ExampleMakers.Product",
          .productName = "Product",
          .manufacturer = "Example Makers",
          .productCode = "{11111111-1111-1111-1111-111111111111}",
          .upgradeCode = "{33333333-3333-3333-3333-333333333333}",
          .productVersion = "2.0.1",
          .description = "Product 2.0.1",
          .scope = scope,
          .architecture = "x86",
          .minimumWindows = "5.1.2600",
          .url = kDeployUrl,
          .sha256 = std::string(64, 'A')};
}

const Call* Find(const std::vector<Call>& calls, const std::string& cmdlet) {
  const auto found = std::ranges::find(calls, cmdlet, &Call::cmdlet);
  return found == calls.end() ? nullptr : &*found;
}

std::string ValueOf(const Call& call, const std::string& parameter) {
  const auto found = call.parameters.find(parameter);
  return found == call.parameters.end() ? "(not given)" : found->second ? found->second->text : "(switch)";
}

TEST(ConfigMgrScript, CallsEachCmdletWithParametersOfOneDocumentedSet) {
  for (const InstallScope scope : {InstallScope::kMachine, InstallScope::kUser, InstallScope::kEither}) {
    DeployFacts facts = FactsOf(scope);
    // Quotes of both kinds, a $ and a -word inside the texts stay inside their literals.
    facts.productName = "O'Brien\u2019s Notes -Force $x";
    facts.manufacturer = "Example \"Makers\" -ProductCode";
    const std::string script = ConfigMgrScript(facts).bytes;
    SCOPED_TRACE(script);
    EXPECT_EQ(Joined(Refusals(script)), "");
    const std::vector<Call> calls = CmCalls(script);
    std::vector<std::string> cmdlets;
    for (const Call& call : calls) cmdlets.push_back(call.cmdlet);
    EXPECT_EQ(cmdlets,
              (std::vector<std::string>{"Get-CMApplication", "New-CMDetectionClauseWindowsInstaller",
                                        "New-CMApplication", "Add-CMScriptDeploymentType", "Remove-CMApplication"}));
    const std::map<std::string, std::string> expectedSets = {{"Get-CMApplication", "SearchByName"},
                                                             {"New-CMDetectionClauseWindowsInstaller", "Value"},
                                                             {"New-CMApplication", "(the only one)"},
                                                             {"Add-CMScriptDeploymentType", "ByAppNameDetectionClause"},
                                                             {"Remove-CMApplication", "SearchByValueMandatory"}};
    for (const Call& call : calls) {
      std::string set;
      Refusals(call, &set);
      EXPECT_EQ(set, expectedSets.at(call.cmdlet)) << call.cmdlet;
    }
    EXPECT_NE(script.find("$name = 'O''Brien\u2019\u2019s Notes -Force $x'"), std::string::npos);
  }
}

// The table is the check: what it holds against each mistake, the one the review found first.
TEST(ConfigMgrScript, ReferenceTableRefusesWhatTheReferenceDoesNotDocument) {
  const std::string script = ConfigMgrScript(FactsOf(InstallScope::kMachine)).bytes;
  const struct {
    const char* from;
    const char* to;
    const char* refusal;
  } plants[] = {
      {"-RebootBehavior BasedOnExitCode", "-PostInstallBehavior BasedOnExitCode",
       "Add-CMScriptDeploymentType: no parameter -PostInstallBehavior"},
      {"-RebootBehavior BasedOnExitCode", "-RebootBehavior OnExitCode", "-RebootBehavior OnExitCode is not one of"},
      {"-InstallationBehaviorType InstallForSystem", "-InstallationBehaviorType InstallForUser",
       "-LogonRequirementType cannot be set with InstallForUser"},
      // -ProductCode belongs to the sets without detection clauses.
      {"-AddDetectionClause $detection", "-AddDetectionClause $detection -ProductCode '{1}'", "fit no parameter set"},
      {"-AddDetectionClause $detection", "", "fit no parameter set"},
      {" -Value -ExpressionOperator", " -ExpressionOperator", "fit no parameter set"},
      {"-ExpressionOperator GreaterEquals", "-ExpressionOperator AtLeast", "is not one of"},
      {"-Fast", "-Fast $true", "\"$true\" is no parameter's value"},
      {"Remove-CMApplication -InputObject $application", "Remove-CMApplication $application",
       "\"$application\" is no parameter's value"},
      {"New-CMApplication -Name $name", "New-CMApplication -Name $name -Name $name", "-Name given twice"},
      {"Add-CMScriptDeploymentType", "Add-CMScriptDeploymentTypes", "Add-CMScriptDeploymentTypes: not a cmdlet"},
  };
  for (const auto& plant : plants) {
    SCOPED_TRACE(plant.to);
    std::string planted = script;
    const size_t at = planted.find(plant.from);
    ASSERT_NE(at, std::string::npos);
    planted.replace(at, std::string(plant.from).size(), plant.to);
    EXPECT_NE(Joined(Refusals(planted)).find(plant.refusal), std::string::npos) << Joined(Refusals(planted));
  }
}

// Who the package installs for decides how Configuration Manager runs setup.exe and where the
// installer's log goes: per user as the user, into the user's own %TEMP%; per machine or either
// way as the system, into its C:\Windows\Temp, whether or not anyone is logged on.
TEST(ConfigMgrScript, InstallsEachKindOfPackageAsItsAccountWithTheInstallersLog) {
  const struct {
    const char* kind;
    const char16_t* allUsers;  // none: the package has no ALLUSERS
    const char* cmdLine;
    const char* behaviour;
    const char* logonRequirement;
    const char* installCommand;
  } cases[] = {
      {"per machine", u"1", "", "InstallForSystem", "WhetherOrNotUserLoggedOn",
       "setup.exe /S /debuglog C:\\Windows\\Temp\\Product-2.0.1-setup.log"},
      // The reference lets InstallForUser have no logon requirement: it stays "only when a user is
      // logged on".
      {"per user", nullptr, "", "InstallForUser", "(not given)",
       "setup.exe /S /debuglog %TEMP%\\Product-2.0.1-setup.log"},
      // As the system, and per machine on every Windows, whatever MSIINSTALLPERUSER says.
      {"either", u"2", "", "InstallForSystem", "WhetherOrNotUserLoggedOn",
       "setup.exe /S /debuglog C:\\Windows\\Temp\\Product-2.0.1-setup.log ALLUSERS=1"},
  };
  DeployFolder d;
  d.options.force = true;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    auto& package = d.folder.Package();
    package.properties.erase(u"ALLUSERS");
    if (c.allUsers != nullptr) package.properties[u"ALLUSERS"] = c.allUsers;
    d.folder.EditSettings("CmdLine=A=1", c.cmdLine);
    ASSERT_EQ(d.Deploy(), 0) << d.report;
    const std::string script = d.Read("configmgr/New-Application.ps1");
    const std::vector<Call> calls = CmCalls(script);
    const Call* add = Find(calls, "Add-CMScriptDeploymentType");
    ASSERT_NE(add, nullptr);
    EXPECT_EQ(ValueOf(*add, "InstallationBehaviorType"), c.behaviour);
    EXPECT_EQ(ValueOf(*add, "LogonRequirementType"), c.logonRequirement);
    EXPECT_EQ(ValueOf(*add, "InstallCommand"), c.installCommand);
    EXPECT_EQ(ValueOf(*add, "UninstallCommand"), "setup.exe /x /S");
    EXPECT_EQ(ValueOf(*add, "RebootBehavior"), "BasedOnExitCode");
  }
}

// setup.exe takes /debuglog's path as written: the log's name keeps only what needs no quoting
// and what no engine expands.
TEST(InstallCommandWithLog, NamesTheLogInCharactersThatNeedNoQuoting) {
  DeployFacts facts = FactsOf(InstallScope::kMachine);
  facts.identifier = "Example.Prod%TEMP%&uct\xC3\xA9";
  facts.productVersion = "2.0 (beta)";
  EXPECT_EQ(InstallLogPath(facts, InstallAccount::kSystem), "C:\\Windows\\Temp\\ProdTEMPuct-2.0beta-setup.log");
  EXPECT_EQ(InstallLogPath(facts, InstallAccount::kUser), "%TEMP%\\ProdTEMPuct-2.0beta-setup.log");
}

// A second run finds the application of that name and makes nothing: the check for it comes before
// anything is made, and ends the script. An application made by a run that then fails to add its
// deployment type is removed again, so that the name stays free.
TEST(ConfigMgrScript, MakesNothingWhenTheApplicationExists) {
  const std::string script = ConfigMgrScript(FactsOf(InstallScope::kMachine)).bytes;
  const std::vector<Command> commands = Commands(script);
  std::vector<std::string> heads;
  for (const Command& command : commands) heads.push_back(command.front().text);
  const auto at = [&](const std::string& head) {
    return static_cast<size_t>(std::ranges::find(heads, head) - heads.begin());
  };
  const size_t check = at("Get-CMApplication");
  ASSERT_LT(check, heads.size());
  EXPECT_EQ(heads[check - 1], "if");
  // The block of the if: a message, then the end of the script.
  EXPECT_EQ(heads[check + 1], "Write-Warning");
  EXPECT_EQ(heads[check + 2], "return");
  for (const char* making : {"$detection", "$application", "Add-CMScriptDeploymentType", "Remove-CMApplication"}) {
    EXPECT_GT(at(making), check + 2) << making;
  }
  const std::vector<Call> calls = CmCalls(script);
  const Call* get = Find(calls, "Get-CMApplication");
  ASSERT_NE(get, nullptr);
  EXPECT_EQ(ValueOf(*get, "Name"), "$name");
  EXPECT_EQ(ValueOf(*get, "DisableWildcardHandling"), "(switch)");
  // The removal is in the catch block after the deployment type, of the application just made.
  EXPECT_EQ(heads[at("Remove-CMApplication") - 1], "catch");
  const Call* remove = Find(calls, "Remove-CMApplication");
  ASSERT_NE(remove, nullptr);
  EXPECT_EQ(ValueOf(*remove, "InputObject"), "$application");
  EXPECT_NE(script.find("$application = New-CMApplication -Name $name"), std::string::npos);
}

}  // namespace
}  // namespace setup::check::testing
