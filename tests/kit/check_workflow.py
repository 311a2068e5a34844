#!/usr/bin/env python3
"""The workflow for a hosted Windows runner, which cannot run here, read
back: it parses as YAML, and its two jobs build the kit on Debian 12 with
the README's own commands, hand it over, run run-tests.cmd on Windows and
keep the reports whatever the run's outcome.

Usage: check_workflow.py WORKFLOW.yml README.md KIT.zip
"""
import fnmatch
import os
import sys

import yaml


def steps_that(job, test):
    return [index for index, step in enumerate(job.get("steps", [])) if test(step)]


def uses(action):
    return lambda step: str(step.get("uses", "")).split("@")[0] == action


def runs(*words):
    return lambda step: all(word in str(step.get("run", "")) for word in words)


def check(workflow, readme, kit_zip):
    problems = []

    def expect(condition, problem):
        if not condition:
            problems.append(problem)

    # YAML 1.1 reads the key "on" as true.
    triggers = workflow.get("on", workflow.get(True))
    expect(isinstance(triggers, dict) and "push" in triggers and "pull_request" in triggers,
           f"the workflow runs on {triggers}, not on pushes and pull requests")
    jobs = workflow.get("jobs") or {}
    expect(sorted(jobs) == ["build", "test"], f"the jobs are {sorted(jobs)}, not build and test")
    build, test = jobs.get("build") or {}, jobs.get("test") or {}

    container = build.get("container")
    image = container.get("image") if isinstance(container, dict) else container
    expect(str(build.get("runs-on", "")).startswith("ubuntu"), f"build runs on {build.get('runs-on')}")
    expect(image == "debian:12", f"build runs in {image}, not debian:12")
    checkout = steps_that(build, uses("actions/checkout"))
    set_up = steps_that(build, runs("scripts/install-dependencies.sh"))
    compile_ = steps_that(build, runs("cmake --preset windows", "cmake --build --preset windows"))
    for command in ("scripts/install-dependencies.sh", "cmake --preset windows", "cmake --build --preset windows"):
        expect(command in readme, f"the README does not give the build's command {command}")
    hand_over = steps_that(build, uses("actions/upload-artifact"))
    expect(len(hand_over) == 1, "build does not hand one artifact over")
    expect(checkout and set_up and compile_ and hand_over and
           checkout[0] < set_up[0] < compile_[0] < hand_over[0],
           "build does not check out, set up, build and hand over, in this order")
    kit = build["steps"][hand_over[0]].get("with", {}) if hand_over else {}
    expect(fnmatch.fnmatch(os.path.join("build/windows", kit_zip), str(kit.get("path"))),
           f"build hands over {kit.get('path')}, which does not name build/windows/{kit_zip}")

    expect("build" in ([test["needs"]] if isinstance(test.get("needs"), str) else test.get("needs", [])),
           "test does not wait for build")
    expect(test.get("runs-on") == "windows-latest", f"test runs on {test.get('runs-on')}")
    take = steps_that(test, uses("actions/download-artifact"))
    run_kit = steps_that(test, lambda step: step.get("shell") == "cmd" and runs("run-tests.cmd")(step))
    keep = steps_that(test, uses("actions/upload-artifact"))
    expect(take and run_kit and keep and take[0] < run_kit[0] < keep[0],
           "test does not take the kit, run run-tests.cmd through cmd and keep the reports, in this order")
    if take:
        name = test["steps"][take[0]].get("with", {}).get("name")
        expect(name == kit.get("name"), f"test takes the artifact {name}, build hands over {kit.get('name')}")
    if keep:
        reports = test["steps"][keep[0]]
        expect("always()" in str(reports.get("if", "")), "the reports are not kept when the run fails")
        expect("reports" in str(reports.get("with", {}).get("path", "")), "the kept artifact is not the reports")
    return problems


def main():
    workflow_path, readme_path, kit_zip = sys.argv[1:]
    with open(workflow_path, encoding="utf-8") as file:
        workflow = yaml.safe_load(file)
    with open(readme_path, encoding="utf-8") as file:
        readme = file.read()
    problems = check(workflow, readme, os.path.basename(kit_zip))
    for problem in problems:
        print(f"{workflow_path}: {problem}")
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
