package two;

/** In lib/two.jar, named by lib/one.jar relative to its own folder. */
public final class Two {
  private Two() {}

  public static String describe() {
    return "two";
  }
}
