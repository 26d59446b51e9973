# Wrong types, unknown names and values out of range: an exception naming the argument,
# never a crash.
import pytest

import zymra

S, W = zymra.simulate, zymra.sweep
CASES = [
    # (call, exception, text the message holds)
    (lambda: S(Uset="0.1"), TypeError, "Uset must be a number, not str"),
    (lambda: S(Uset=None), TypeError, "Uset"),
    (lambda: S(Uset=True), TypeError, "Uset"),
    (lambda: S(Uset=float("nan")), ValueError, "Uset must be a finite number"),
    (lambda: S(ReactorSize=float("inf")), ValueError, "ReactorSize"),
    (lambda: S(ReactorSize=10**400), ValueError, "ReactorSize is too large"),
    (lambda: S(Speed=1.5), TypeError, "Speed must be an integer"),
    (lambda: S(Speed=11), ValueError, "Speed must be between 0 and 10"),
    (lambda: S(Speed=2**70), ValueError, "Speed"),
    (lambda: S(IsBatch="yes"), TypeError, "IsBatch must be a bool"),
    (lambda: S(IsBatch=2), ValueError, "IsBatch"),
    (lambda: S(Title=7), TypeError, "Title must be a str"),
    (lambda: S(Title="x" * 256), ValueError, "Title is longer than 255 characters"),
    (lambda: S(Title="\u65e5\u672c"), ValueError, "Title holds characters"),
    (lambda: S(Title="\udcff"), ValueError, "Title"),
    (lambda: S(Foo=1), TypeError, "unknown setting 'Foo'"),
    (lambda: S(State=1), TypeError, "'State' is written by the simulation"),
    (lambda: S(seed=-1), ValueError, "seed must be between 0 and 4294967295"),
    (lambda: S(seed=2**64), ValueError, "seed"),
    (lambda: S(seed="1"), TypeError, "seed must be an integer"),
    (lambda: S(max_steps=None), TypeError, "max_steps"),
    (lambda: S(max_steps=-1), ValueError, "max_steps"),
    (lambda: S(at=5), TypeError, "at must be a sequence"),
    (lambda: S(at="2:refill=1"), TypeError, "at must be a sequence"),
    (lambda: S(at=[3]), TypeError, "at[0] must be a tuple"),
    (lambda: S(at=[(1, "correct-feed"), (1, "explode")]), ValueError, "at[1]: unknown action 'explode'"),
    (lambda: S(at=[(1, "refill")]), ValueError, "at[0]: (time_h, \"refill\", litres) needs the volume"),
    (lambda: S(at=[(1, "correct-feed", 2)]), ValueError, "takes no volume"),
    (lambda: S(at=[(-1, "correct-feed")]), ValueError, "at[0]: the time must not be negative"),
    (lambda: S(at=[(1, "discharge", float("nan"))]), ValueError, "at[0] litres must be a finite number"),
    (lambda: S(at=[(None, "discharge", 1)]), TypeError, "at[0] time"),
    (lambda: W([("Uset", 0.1, 0.2, 3)]), TypeError, "vary must be a dict"),
    (lambda: W({"Foo": (0, 1, 2)}), ValueError, "vary: unknown setting 'Foo'"),
    (lambda: W({"Speed": (1, 2, 2)}), ValueError, "vary['Speed']: 'Speed' cannot be varied"),
    (lambda: W({"Uset": (0.2, 0.1, 3)}), ValueError, "vary['Uset']: the last value is below the first"),
    (lambda: W({"Uset": (0.1, 0.2, 0)}), ValueError, "vary['Uset'] count must be between 1"),
    (lambda: W({"Uset": (0.1, 0.2, 2.5)}), TypeError, "vary['Uset'] count must be an integer"),
    (lambda: W({"Uset": ("gamma", 1, 2)}), ValueError, "unknown distribution 'gamma'"),
    (lambda: W({"Uset": ("normal", 0.1, -1)}), ValueError, "standard deviation must not be negative"),
    (lambda: W({"Uset": ("uniform", 0.1)}), ValueError, "vary['Uset'] must be"),
    (lambda: W({"Uset": 0.1}), TypeError, "vary['Uset'] must be"),
    (lambda: W({"Uset": (0.01, 2, 3)}), ValueError, "fails the start page's checks"),
    (lambda: W({}, threads=0), ValueError, "threads must be between 1 and 1024"),
    (lambda: W({}, samples=0), ValueError, "samples"),
    (lambda: W({}, seed=2**53), ValueError, "seed"),
    (lambda: W({}, bands=[5]), ValueError, "bands"),
    (lambda: W({}, Uset="x"), TypeError, "Uset"),
    (lambda: W({"Uset": (0.1, 0.2, 10**7), "Yield": (0.1, 0.2, 10**7)}), ValueError, "more than"),
    (lambda: setattr(zymra.Project(), "title", None), TypeError, "title must be a str"),
    (lambda: setattr(zymra.Project(), "culture", "c" * 300), ValueError, "culture is longer"),
    (lambda: zymra.Project.open(None), TypeError, "path must be a str or path"),
    (lambda: zymra.Project.open(""), ValueError, "path is empty"),
    (lambda: zymra.Project().save("a\0b"), ValueError, "NUL"),
    (lambda: zymra.Project().add_run(Uset=5), ValueError, "Values Couldn´t Be Applied To Run!"),
    (lambda: zymra.Project().add_run(comment=3), TypeError, "comment must be a str"),
]


@pytest.mark.parametrize("call, error, text", CASES, ids=[c[2][:40] for c in CASES])
def test_bad_input_raises_an_error_naming_it(call, error, text):
    with pytest.raises(error) as raised:
        call()
    assert text in str(raised.value)


def test_a_rejected_run_leaves_the_project_as_it_was():
    project = zymra.Project()
    with pytest.raises(ValueError):
        project.add_run(SimInterval=0)
    assert project.runs == []
