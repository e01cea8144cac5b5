package three;

/** In "lib/with space.jar", named percent-encoded. */
public final class Three {
  private Three() {}

  public static String describe() {
    return "three";
  }
}
